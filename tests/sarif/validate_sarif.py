#!/usr/bin/env python3
"""stepwright-cli check --sarif against the SARIF 2.1.0 JSON schema, with
relative and absolute file names, findings, suppressions and refused files;
and the rules of a full SARIF validator the schema cannot say: artifact URIs
absolute or resolved through a base id, every rule described with help
into the guide, the tool's version and information URI, a fingerprint on
every result.

Usage: validate_sarif.py STEPWRIGHT-CLI SCHEMA"""
import json
import os
import subprocess
import sys
import tempfile
import urllib.parse

import jsonschema

FAULTY = (".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n\n"
          "; faults\n"
          "          0 Delay time=1\n"
          "          0 Call -> S\n"
          "; check: ignore undefined-label\n"
          "          0 GoTo -> NOWHERE\n"
          "S:        0 Return\n"
          "          0 Delay time=2\n")
REFUSED = ".stepwright 1\n.module 0 [Master]\n\n  0 Bogus\n  0 Delay x=1\n"


def absolute_uri(uri):
    return urllib.parse.urlsplit(uri).scheme != ""


def check_log(log, schema, where):
    jsonschema.validate(log, schema, format_checker=jsonschema.FormatChecker())
    assert log["version"] == "2.1.0", where
    run, = log["runs"]
    driver = run["tool"]["driver"]
    assert driver["version"] and absolute_uri(driver["informationUri"]), where
    bases = run.get("originalUriBaseIds", {})
    for base in bases.values():
        assert absolute_uri(base["uri"]) and base["uri"].endswith("/"), where
    ids = []
    for rule in driver["rules"]:
        ids.append(rule["id"])
        assert rule.get("name", "").lower() != rule["id"].lower(), rule["id"]
        for key in ("shortDescription", "fullDescription", "help"):
            assert rule[key]["text"].strip(), (rule["id"], key)
        assert rule["helpUri"] == driver["informationUri"] + "#" + rule["id"], rule["id"]
    locations = [a["location"] for a in run["artifacts"]]
    for result in run["results"]:
        assert driver["rules"][result["ruleIndex"]]["id"] == result["ruleId"], where
        assert result["partialFingerprints"], where
        locations += [loc["physicalLocation"]["artifactLocation"] for loc in result["locations"]]
        assert result["locations"][0]["physicalLocation"]["region"]["startLine"] >= 1, where
    for location in locations:
        if absolute_uri(location["uri"]):
            assert location["uri"].startswith("file:///") and "uriBaseId" not in location, location
        else:
            assert location["uriBaseId"] in bases and not location["uri"].startswith("/"), location
    return run


def main():
    cli, schema_path = sys.argv[1], sys.argv[2]
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    with tempfile.TemporaryDirectory() as tmp:
        for name, text in (("faulty.sws", FAULTY), ("bad one.sws", REFUSED)):
            with open(os.path.join(tmp, name), "w", encoding="latin-1") as f:
                f.write(text)
        runs = {
            "relative": ["faulty.sws", "bad one.sws", "missing.stw"],
            "absolute": [os.path.join(tmp, "faulty.sws"), os.path.join(tmp, "bad one.sws")],
            "clean": [],
        }
        for what, files in runs.items():
            args = [cli, "check", "--sarif", "--disable", "unreachable", *files]
            if not files:
                args = [cli, "check", "--sarif", os.path.join(tmp, "faulty.sws"), "--disable", "undefined-label",
                        "--disable", "unreachable", "--disable", "unused-label"]
            done = subprocess.run(args, cwd=tmp, capture_output=True)
            assert done.returncode in (0, 2, 8), (what, done.returncode, done.stderr)
            run = check_log(json.loads(done.stdout), schema, what)
            rules = [r["ruleId"] for r in run["results"]]
            if what == "relative":
                assert done.returncode == 2 and rules.count("file-refused") == 3, rules
                assert all("suppressions" in r for r in run["results"] if r["ruleId"] != "file-refused"), rules
            print("ok", what, len(run["results"]), "results")


if __name__ == "__main__":
    main()
