// The Python binding: converts between Python objects and the calls of
// python/Api.h, and turns ApiError into the exceptions of stepwright.errors.
// No logic of its own.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "python/Api.h"

namespace py = pybind11;
using namespace pyapi;

namespace {

// Keyword arguments name fields by their .sws ids with '-' written '_';
// a dict keeps the ids as they are.
Fields FieldsFrom(const py::dict& d, bool fromKeywords) {
    Fields out;
    for (auto item : d) {
        std::string id = py::cast<std::string>(item.first);
        if (fromKeywords) std::replace(id.begin(), id.end(), '_', '-');
        py::handle v = item.second;
        if (py::isinstance<py::bool_>(v)) out.emplace_back(id, FieldValue(v.cast<bool>()));
        else if (py::isinstance<py::int_>(v)) out.emplace_back(id, FieldValue(v.cast<long long>()));
        else if (py::isinstance<py::str>(v)) out.emplace_back(id, FieldValue(v.cast<std::string>()));
        else throw ApiError(ErrorKind::Program, "'" + id + "' takes a number, True/False or a text", id);
    }
    return out;
}

py::dict FieldsTo(const Fields& fields) {
    py::dict d;
    for (const auto& [id, v] : fields)
        std::visit([&](const auto& x) { d[py::str(id)] = x; }, v);
    return d;
}

py::bytes Bytes(const std::string& s) { return py::bytes(s); }

// Python text to the system's bytes: Latin-1, one byte per character.
std::string Latin1(const py::handle& text) {
    if (py::isinstance<py::bytes>(text)) return text.cast<std::string>();
    py::object b = text.attr("encode")("latin-1");
    return b.cast<std::string>();
}
py::str FromLatin1(const std::string& bytes) {
    return py::reinterpret_steal<py::str>(PyUnicode_DecodeLatin1(bytes.data(), Py_ssize_t(bytes.size()), nullptr));
}

py::object LineObject(const Line& l) {
    py::object ns = py::module_::import("types").attr("SimpleNamespace");
    if (l.comment)
        return ns(py::arg("comment") = FromLatin1(l.text), py::arg("label") = py::none(), py::arg("goto") = py::none(),
                  py::arg("module") = py::none(), py::arg("command") = py::none(), py::arg("fields") = py::dict(),
                  py::arg("bytes") = py::bytes());
    return ns(py::arg("comment") = py::none(),
              py::arg("label") = l.label.empty() ? py::object(py::none()) : py::object(FromLatin1(l.label)),
              py::arg("goto") = l.gotoLabel.empty() ? py::object(py::none()) : py::object(FromLatin1(l.gotoLabel)),
              py::arg("module") = l.module,
              py::arg("command") = l.command.empty() ? py::object(py::none()) : py::object(py::str(l.command)),
              py::arg("fields") = FieldsTo(l.fields), py::arg("bytes") = Bytes(l.bytes));
}

}  // namespace

PYBIND11_MODULE(_stepwright, m) {
    m.doc() = "The Stepwright core, bound for Python (use the stepwright package).";

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const ApiError& e) {
            py::module_ errors = py::module_::import("stepwright.errors");
            const char* name = e.kind == ErrorKind::Program         ? "ProgramError"
                               : e.kind == ErrorKind::NotResponding ? "NotResponding"
                               : e.kind == ErrorKind::Refused       ? "Refused"
                               : e.kind == ErrorKind::Port          ? "PortError"
                                                                    : "Mismatch";
            py::object cls = errors.attr(name);
            py::object exc = e.kind == ErrorKind::Program ? cls(FromLatin1(e.message), e.field.empty() ? py::object(py::none()) : py::object(py::str(e.field)))
                                                           : cls(FromLatin1(e.message));
            PyErr_SetObject(cls.ptr(), exc.ptr());
        }
    });

    py::class_<Program>(m, "Program")
        .def_static("open", &Program::open, py::arg("path"))
        .def_static("from_text", [](const py::handle& t) { return Program::fromText(Latin1(t)); }, py::arg("text"))
        .def_static("empty", &Program::empty, py::arg("module_types"))
        .def("save", &Program::save, py::arg("path"))
        .def("text", [](const Program& p) { return FromLatin1(p.text()); })
        .def("modules", &Program::modules)
        .def("lines", [](const Program& p) {
            py::list out;
            for (const Line& l : p.lines()) out.append(LineObject(l));
            return out;
        })
        .def("listing", [](const Program& p) {
            py::list out;
            for (const std::string& l : p.listing()) out.append(FromLatin1(l));
            return out;
        })
        .def("size", &Program::size)
        .def("insert", [](Program& p, int index, int module, const std::string& command, const py::object& label,
                          const py::object& target, const py::dict& fields, bool keywords) {
                 p.insert(index, module, command, label.is_none() ? "" : Latin1(label),
                          target.is_none() ? "" : Latin1(target), FieldsFrom(fields, keywords));
             })
        .def("insert_comment", [](Program& p, int index, const py::handle& t) { p.insertComment(index, Latin1(t)); })
        .def("remove", &Program::remove)
        .def("assemble", [](const Program& p) { return Bytes(p.assemble()); })
        .def("check", [](const Program& p) {
            py::list out;
            py::object ns = py::module_::import("types").attr("SimpleNamespace");
            for (const check::Finding& f : p.check())
                out.append(ns(py::arg("rule") = f.rule, py::arg("severity") = check::SeverityName(f.severity),
                              py::arg("line") = f.line, py::arg("message") = FromLatin1(f.message)));
            return out;
        });

    m.def("encode", [](const std::string& type, const std::string& command, int module, const py::dict& fields, bool keywords) {
        return Bytes(Encode(type, command, module, FieldsFrom(fields, keywords)));
    });
    m.def("decode", [](const py::bytes& b, const std::string& type) {
        const auto [command, fields] = Decode(b.cast<std::string>(), type);
        return py::make_tuple(command, FieldsTo(fields));
    });
    m.def("module_type_name", &ModuleTypeName);

    py::class_<pyapi::Master>(m, "Master")
        .def(py::init<const std::string&>())
        .def("open", &pyapi::Master::open, py::call_guard<py::gil_scoped_release>())
        .def("close", &pyapi::Master::close, py::call_guard<py::gil_scoped_release>())
        .def("detect", [](pyapi::Master& master) {
            std::vector<ModuleFound> found;
            {
                py::gil_scoped_release release;
                found = master.detect();
            }
            py::dict d;
            for (const auto& f : found) d[py::int_(f.address)] = FromLatin1(f.name);
            return d;
        })
        .def("download", &pyapi::Master::download, py::call_guard<py::gil_scoped_release>())
        .def("verify", &pyapi::Master::verify, py::call_guard<py::gil_scoped_release>())
        .def("upload", &pyapi::Master::upload, py::call_guard<py::gil_scoped_release>())
        .def("compare", [](pyapi::Master& master, const pyapi::Program& program) {
            std::vector<pyapi::DifferingLine> lines;
            {
                py::gil_scoped_release release;
                lines = master.compare(program);
            }
            py::list out;
            for (const auto& l : lines) {
                py::dict d;
                d["in"] = l.in;
                d["line"] = l.line;
                d["address"] = l.address;
                d["label"] = FromLatin1(l.label);
                d["text"] = FromLatin1(l.text);
                out.append(d);
            }
            return out;
        })
        .def("run", &pyapi::Master::run, py::call_guard<py::gil_scoped_release>())
        .def("stop", &pyapi::Master::stop, py::call_guard<py::gil_scoped_release>())
        .def("step", &pyapi::Master::step, py::call_guard<py::gil_scoped_release>())
        .def("reset", &pyapi::Master::reset, py::call_guard<py::gil_scoped_release>())
        .def("status", [](pyapi::Master& master, int address) {
            std::vector<std::pair<std::string, std::string>> values;
            {
                py::gil_scoped_release release;
                values = master.status(address);
            }
            py::dict d;
            for (const auto& [k, v] : values) d[FromLatin1(k)] = FromLatin1(v);
            return d;
        })
        .def("printed", [](pyapi::Master& master) {
            std::string text;
            {
                py::gil_scoped_release release;
                text = master.printed();
            }
            return FromLatin1(text);
        })
        .def("send_key", [](pyapi::Master& master, const py::handle& key) {
            const std::string k = Latin1(key);
            if (k.size() != 1) throw ApiError(ErrorKind::Program, "send_key takes one character", "c");
            py::gil_scoped_release release;
            master.sendKey(k[0]);
        });

    py::class_<pyapi::Simulator>(m, "Simulator")
        .def(py::init<const std::vector<std::string>&, int, const std::vector<std::string>&>())
        .def("port", &pyapi::Simulator::port)
        .def("stop", &pyapi::Simulator::stop, py::call_guard<py::gil_scoped_release>());

    m.def("run_scenario", [](const std::string& path) {
        ScenarioResult r;
        {
            py::gil_scoped_release release;
            r = RunScenarioFile(path);
        }
        py::object ns = py::module_::import("types").attr("SimpleNamespace");
        return ns(py::arg("name") = r.name, py::arg("passed") = r.passed, py::arg("message") = FromLatin1(r.message),
                  py::arg("failed_step") = r.failedStep < 0 ? py::object(py::none()) : py::object(py::int_(r.failedStep)),
                  py::arg("line") = r.line, py::arg("steps_run") = r.stepsRun,
                  py::arg("simulated_ms") = r.simulatedMs, py::arg("printed") = FromLatin1(r.printed));
    });
}
