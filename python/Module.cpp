// The Python binding: converts between Python objects and the calls of
// python/Api.h, and turns ApiError into the exceptions of stepwright.errors.
// No logic of its own.
//
// Text crosses as Latin-1: a str's characters are the record's bytes, one
// each, both ways; a character beyond Latin-1 is refused naming its field.
// File names cross as the operating system's bytes (os.fsencode).

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>

#include "python/Api.h"

namespace py = pybind11;
using namespace pyapi;

namespace {

[[noreturn]] void TypeFault(const std::string& message) { throw py::type_error(message); }

// A str to the system's bytes; what is not Latin-1 is refused naming field.
std::string Latin1(const py::handle& text, const std::string& field) {
    if (!py::isinstance<py::str>(text))
        TypeFault("'" + field + "' takes a str, not " + std::string(py::str(py::type::of(text).attr("__name__"))));
    PyObject* bytes = PyUnicode_AsLatin1String(text.ptr());
    if (!bytes) {
        PyErr_Clear();
        throw ApiError(ErrorKind::Program,
                       "'" + field + "' holds a character beyond Latin-1: text is one byte a character (\\x00 to \\xff)",
                       field);
    }
    py::object owned = py::reinterpret_steal<py::object>(bytes);
    return std::string(PyBytes_AS_STRING(bytes), size_t(PyBytes_GET_SIZE(bytes)));
}
std::string OptionalLatin1(const py::handle& text, const std::string& field) {
    return text.is_none() ? std::string() : Latin1(text, field);
}

// Program text is a file of UTF-8 whose characters are Latin-1: as str, its
// characters are again the records' bytes.
std::string Utf8(const py::handle& text, const std::string& field) {
    if (!py::isinstance<py::str>(text)) TypeFault("'" + field + "' takes a str");
    PyObject* bytes = PyUnicode_AsUTF8String(text.ptr());
    if (!bytes) {
        PyErr_Clear();
        throw ApiError(ErrorKind::Program, "'" + field + "' holds a character that is not text (a lone surrogate)", field);
    }
    py::object owned = py::reinterpret_steal<py::object>(bytes);
    return std::string(PyBytes_AS_STRING(bytes), size_t(PyBytes_GET_SIZE(bytes)));
}
py::str FromUtf8(const std::string& text) {
    PyObject* str = PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "strict");
    if (!str) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(str);
}

py::str FromLatin1(const std::string& bytes) {
    return py::reinterpret_steal<py::str>(PyUnicode_DecodeLatin1(bytes.data(), Py_ssize_t(bytes.size()), nullptr));
}

// A file name: str, bytes or a path object, as open() takes it.
std::string PathBytes(const py::handle& path) {
    py::object os = py::module_::import("os");
    py::object b = os.attr("fsencode")(os.attr("fspath")(path));
    std::string out = b.cast<std::string>();
    if (out.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
    if (out.empty()) throw py::value_error("an empty file name");
    return out;
}

// Fields by their .sws ids (the caller turns keyword names into ids).
Fields FieldsFrom(const py::dict& d) {
    Fields out;
    for (auto item : d) {
        const std::string id = Latin1(item.first, "fields");
        py::handle v = item.second;
        if (py::isinstance<py::bool_>(v)) {
            out.emplace_back(id, FieldValue(v.cast<bool>()));
        } else if (py::isinstance<py::int_>(v)) {
            // A number beyond 64 bits goes as its digits through the numeric
            // field rule, which refuses it as the builder does.
            int overflow = 0;
            const long long n = PyLong_AsLongLongAndOverflow(v.ptr(), &overflow);
            if (overflow) out.emplace_back(id, FieldValue(std::string(py::str(v))));
            else out.emplace_back(id, FieldValue(n));
        } else if (py::isinstance<py::str>(v)) {
            out.emplace_back(id, FieldValue(Latin1(v, id)));
        } else {
            TypeFault("'" + id + "' takes an int, a bool or a str, not " +
                      std::string(py::str(py::type::of(v).attr("__name__"))));
        }
    }
    return out;
}

template <class Variant>
py::object ValueObject(const Variant& v) {
    return std::visit(
        [](const auto& x) -> py::object {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::string>) return FromLatin1(x);
            else if constexpr (std::is_same_v<T, bool>) return py::bool_(x);
            else return py::int_(x);
        },
        v);
}

py::dict FieldsTo(const Fields& fields) {
    py::dict d;
    for (const auto& [id, v] : fields) d[FromLatin1(id)] = ValueObject(v);
    return d;
}

py::dict StatusTo(const Status& status) {
    py::dict d;
    for (const auto& [caption, v] : status) d[FromLatin1(caption)] = ValueObject(v);
    return d;
}

py::object OptionalText(const std::string& s) { return s.empty() ? py::object(py::none()) : py::object(FromLatin1(s)); }

// A line as a tuple: comment, label, goto, module, command, fields, bytes
// (the package makes its Line of it).
py::tuple LineTuple(const Line& l) {
    if (l.comment)
        return py::make_tuple(FromLatin1(l.text), py::none(), py::none(), py::none(), py::none(), py::dict(), py::bytes());
    return py::make_tuple(py::none(), OptionalText(l.label), OptionalText(l.gotoLabel), l.module,
                          OptionalText(l.command), FieldsTo(l.fields), py::bytes(l.bytes));
}

// Bytes-like objects only: a number is not taken for a count of zero bytes.
std::string BytesOf(const py::handle& data) {
    if (py::isinstance<py::bytes>(data)) return data.cast<std::string>();
    if (PyByteArray_Check(data.ptr()) || PyMemoryView_Check(data.ptr()))
        return py::bytes(py::reinterpret_borrow<py::object>(py::module_::import("builtins").attr("bytes")(data)))
            .cast<std::string>();
    TypeFault("data takes bytes, bytearray or memoryview, not " + std::string(py::str(py::type::of(data).attr("__name__"))));
}

// Runs a master call without the GIL.  Ctrl+C is looked at between the
// blocks of a transfer; when it was pressed the transfer stops there and the
// KeyboardInterrupt is raised.
template <class F>
auto Released(pyapi::Master& master, F&& call) {
    master.interrupted = [] {
        py::gil_scoped_acquire gil;
        return PyErr_CheckSignals() != 0;   // the KeyboardInterrupt stays pending
    };
    try {
        py::gil_scoped_release release;
        return call();
    } catch (const Interrupted&) {
        master.interrupted = nullptr;
        throw py::error_already_set();
    }
}

py::object OptionalInt(int v, int none = -1) { return v == none ? py::object(py::none()) : py::object(py::int_(v)); }

// Findings as the Problems window numbers them: line, the index of the line
// (as insert and remove take it); listing_line, from 1; file_line, the line
// in the file or text the program was read from, None once the lines were
// edited.
py::list FindingsList(const Program& p, const std::vector<check::Finding>& findings) {
    py::list out;
    py::object ns = py::module_::import("types").attr("SimpleNamespace");
    const std::vector<int>& fileLines = p.data.textLines;
    for (const check::Finding& f : findings) {
        py::object fileLine = py::none();
        if (f.line >= 0 && size_t(f.line) < fileLines.size()) fileLine = py::int_(fileLines[size_t(f.line)]);
        out.append(ns(py::arg("rule") = f.rule, py::arg("severity") = check::SeverityName(f.severity),
                      py::arg("line") = f.line, py::arg("listing_line") = check::ListingLine(f),
                      py::arg("file_line") = fileLine, py::arg("message") = FromLatin1(f.message),
                      py::arg("suppressed") = f.suppressed()));
    }
    return out;
}

// The inputs the world set along a path: time_ms (None: before the run),
// module (0: a key typed at the terminal), input and level, or key.
py::list InputsList(const std::vector<ProveInput>& inputs) {
    py::list out;
    py::object ns = py::module_::import("types").attr("SimpleNamespace");
    for (const ProveInput& in : inputs)
        out.append(ns(py::arg("time_ms") = in.ms < 0 ? py::object(py::none()) : py::object(py::int_(in.ms)),
                      py::arg("module") = in.module,
                      py::arg("input") = in.module == 0 ? py::object(py::none()) : py::object(FromLatin1(in.input)),
                      py::arg("level") = in.module == 0 ? py::object(py::none()) : py::object(py::str(in.high ? "high" : "low")),
                      py::arg("key") = in.module == 0 ? py::object(FromLatin1(std::string(1, char(in.key))))
                                                      : py::object(py::none())));
    return out;
}

py::object TimingObject(const prove::Timing& t, const std::vector<ProveInput>& longestInputs) {
    if (!t.any) return py::none();
    py::object ns = py::module_::import("types").attr("SimpleNamespace");
    return ns(py::arg("shortest_ms") = double(t.shortestMicros) / 1000.0,
              py::arg("longest_ms") = double(t.longestMicros) / 1000.0,
              py::arg("longest_inputs") = InputsList(longestInputs));
}

}  // namespace

PYBIND11_MODULE(_stepwright, m) {
    m.doc() = "The Stepwright core, bound for Python (use the stepwright package).";
    m.attr("__version__") = STEPWRIGHT_VERSION;

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const ApiError& e) {
            if (e.kind == ErrorKind::Value) {
                PyErr_SetObject(PyExc_ValueError, FromLatin1(e.message).ptr());
                return;
            }
            if (e.kind == ErrorKind::Index) {
                PyErr_SetObject(PyExc_IndexError, FromLatin1(e.message).ptr());
                return;
            }
            py::module_ errors = py::module_::import("stepwright.errors");
            const char* name = e.kind == ErrorKind::Program         ? "ProgramError"
                               : e.kind == ErrorKind::NotResponding ? "NotResponding"
                               : e.kind == ErrorKind::Refused       ? "Refused"
                               : e.kind == ErrorKind::Port          ? "PortError"
                                                                    : "Mismatch";
            py::object cls = errors.attr(name);
            py::object exc = e.kind == ErrorKind::Program ? cls(FromLatin1(e.message), OptionalText(e.field))
                                                           : cls(FromLatin1(e.message));
            PyErr_SetObject(cls.ptr(), exc.ptr());
        }
    });

    py::class_<Program>(m, "Program")
        .def_static("open", [](const py::handle& path) { return Program::open(PathBytes(path)); })
        .def_static("from_text", [](const py::handle& t) { return Program::fromText(Utf8(t, "text")); })
        .def_static("empty", &Program::empty)
        .def("save", [](const Program& p, const py::handle& path) { p.save(PathBytes(path)); })
        .def("text", [](const Program& p) { return FromUtf8(p.text()); })
        .def("modules", &Program::modules)
        .def("lines", [](const Program& p) {
            py::list out;
            for (const Line& l : p.lines()) out.append(LineTuple(l));
            return out;
        })
        .def("listing", [](const Program& p) {
            py::list out;
            for (const std::string& l : p.listing()) out.append(FromLatin1(l));
            return out;
        })
        .def("size", &Program::size)
        .def("insert", [](Program& p, int index, int module, const py::handle& command, const py::handle& label,
                          const py::handle& target, const py::dict& fields) {
            p.insert(index, module, Latin1(command, "command"), OptionalLatin1(label, "label"),
                     OptionalLatin1(target, "goto"), FieldsFrom(fields));
        })
        .def("insert_comment", [](Program& p, int index, const py::handle& t) { p.insertComment(index, Latin1(t, "text")); })
        .def("remove", &Program::remove)
        .def("assemble", [](const Program& p) { return py::bytes(p.assemble()); })
        .def("check", [](const Program& p, const py::handle& machine) {
            return FindingsList(p, machine.is_none() ? p.check() : p.check(PathBytes(machine)));
        })
        .def("prove", [](const Program& p, const py::handle& machine, long long maxTimeMs, long long maxPaths,
                         const py::handle& cycle) {
            const std::string path = PathBytes(machine);
            const std::string label = OptionalLatin1(cycle, "cycle");
            return p.prove(path, maxTimeMs, maxPaths, label);
        });

    py::class_<ProveOutcome>(m, "ProveResult")
        .def_property_readonly("violation", [](const ProveOutcome& o) -> py::object {
            if (!o.result.violated) return py::none();
            const prove::Violation& v = o.result.violation;
            py::object ns = py::module_::import("types").attr("SimpleNamespace");
            return ns(py::arg("rule") = v.rule, py::arg("line") = OptionalInt(o.line.index),
                      py::arg("listing_line") = OptionalInt(o.line.listingLine, 0),
                      py::arg("file_line") = OptionalInt(o.line.fileLine, 0),
                      py::arg("standing_line") = OptionalInt(o.standing.index),
                      py::arg("standing_listing_line") = OptionalInt(o.standing.listingLine, 0),
                      py::arg("standing_file_line") = OptionalInt(o.standing.fileLine, 0),
                      py::arg("time_ms") = o.timeMs, py::arg("module") = v.module,
                      py::arg("value") = o.hasValue ? py::object(py::int_(v.value)) : py::object(py::none()),
                      py::arg("message") = FromLatin1(v.message), py::arg("inputs") = InputsList(o.inputs));
        })
        .def_property_readonly("explored", [](const ProveOutcome& o) {
            const prove::ProveResult& r = o.result;
            py::object ns = py::module_::import("types").attr("SimpleNamespace");
            py::list notRun;
            for (size_t i = 0; i < r.covered.size() && i < o.program.lines.size(); ++i)
                if (!o.program.lines[i].isComment() && !r.covered[i]) notRun.append(int(i));
            return ns(py::arg("paths") = r.paths, py::arg("decisions") = r.decisions, py::arg("merged") = r.merged,
                      py::arg("ended") = r.ended, py::arg("ended_on_error") = r.endedOnError,
                      py::arg("simulated_ms") = r.simulatedMs, py::arg("lines_covered") = r.coveredLines,
                      py::arg("instruction_lines") = r.instructionLines, py::arg("lines_not_run") = notRun);
        })
        .def_property_readonly("bounds_cut", [](const ProveOutcome& o) {
            py::list out;
            for (const std::string& b : o.boundsCut) out.append(FromLatin1(b));
            return out;
        })
        .def_property_readonly("cycle", [](const ProveOutcome& o) { return TimingObject(o.result.cycle, o.longestCycleInputs); })
        .def_property_readonly("proven_within_bounds",
                               [](const ProveOutcome& o) { return !o.result.violated && !o.result.cut(); })
        .def("counterexample", [](const ProveOutcome& o, const py::handle& path, const py::handle& programPath) {
            o.writeCounterexample(PathBytes(path), PathBytes(programPath));
        });

    m.def("encode", [](const py::handle& type, const py::handle& command, int module, const py::dict& fields) {
        return py::bytes(Encode(Latin1(type, "module_type"), Latin1(command, "command"), module, FieldsFrom(fields)));
    });
    m.def("decode", [](const py::handle& data, const py::handle& type) {
        const auto [command, fields] = Decode(BytesOf(data), Latin1(type, "module_type"));
        return py::make_tuple(FromLatin1(command), FieldsTo(fields));
    });
    m.def("module_type_name", &ModuleTypeName);
    m.def("module_type_code", [](const py::handle& name) { return ModuleType(Latin1(name, "module_types"), "module_types"); });
    m.def("module_display_name", &ModuleDisplayName);

    py::class_<pyapi::Master>(m, "Master")
        .def(py::init([](const py::handle& port, const py::handle& log) {
            return std::make_unique<pyapi::Master>(PathBytes(port), log.is_none() ? std::string() : PathBytes(log));
        }))
        .def("open", &pyapi::Master::open, py::call_guard<py::gil_scoped_release>())
        .def("close", &pyapi::Master::close, py::call_guard<py::gil_scoped_release>())
        .def("detect", [](pyapi::Master& master) {
            const std::vector<ModuleFound> found = Released(master, [&] { return master.detect(); });
            py::dict d;
            for (const auto& f : found) d[py::int_(f.address)] = f.type;
            return d;
        })
        .def("download", [](pyapi::Master& master, const Program& p, bool verify) {
            Released(master, [&] { master.download(p, verify); });
        })
        .def("verify", [](pyapi::Master& master, const Program& p) { return Released(master, [&] { return master.verify(p); }); })
        .def("upload", [](pyapi::Master& master) { return Released(master, [&] { return master.upload(); }); })
        .def("compare", [](pyapi::Master& master, const pyapi::Program& program) {
            const std::vector<pyapi::DifferingLine> lines = Released(master, [&] { return master.compare(program); });
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
        .def("run", [](pyapi::Master& master, const py::handle& label) {
            const std::string l = OptionalLatin1(label, "label");
            Released(master, [&] { master.run(l); });
        })
        .def("stop", &pyapi::Master::stop, py::call_guard<py::gil_scoped_release>())
        .def("step", &pyapi::Master::step, py::call_guard<py::gil_scoped_release>())
        .def("reset", &pyapi::Master::reset, py::call_guard<py::gil_scoped_release>())
        .def("status", [](pyapi::Master& master, int address) {
            return StatusTo(Released(master, [&] { return master.status(address); }));
        })
        .def("sample_row", [](pyapi::Master& master, const std::vector<int>& addresses) {
            const Row row = Released(master, [&] { return master.sampleRow(addresses); });
            py::dict modules;
            for (const auto& [address, status] : row.modules) modules[py::int_(address)] = StatusTo(status);
            return py::make_tuple(row.programMayRun, modules);
        })
        .def("printed", [](pyapi::Master& master) { return FromLatin1(Released(master, [&] { return master.printed(); })); })
        .def("send_key", [](pyapi::Master& master, const py::handle& key) {
            if (!py::isinstance<py::str>(key)) TypeFault("send_key takes a str of one character");
            if (py::len(key) != 1) throw py::value_error("send_key takes one character");
            const std::string k = Latin1(key, "c");
            Released(master, [&] { master.sendKey(uint8_t(k[0])); });
        });

    py::class_<pyapi::Simulator>(m, "Simulator")
        .def(py::init([](const py::list& modules, int pace, const py::list& faults) {
            std::vector<std::string> m, f;
            for (auto x : modules) m.push_back(Latin1(x, "modules"));
            for (auto x : faults) f.push_back(Latin1(x, "faults"));
            return std::make_unique<pyapi::Simulator>(m, pace, f);
        }))
        .def("port", [](const pyapi::Simulator& s) { return FromLatin1(s.port()); })
        .def("stop", &pyapi::Simulator::stop, py::call_guard<py::gil_scoped_release>())
        .def("set_input", &pyapi::Simulator::setInput)
        .def("hold", [](pyapi::Simulator& s, int module, const py::handle& input, bool level) {
            s.hold(module, Latin1(input, "switch"), level);
        })
        .def("output", &pyapi::Simulator::output)
        .def("position", &pyapi::Simulator::position);

    m.def("run_scenario", [](const py::handle& path) {
        const std::string file = PathBytes(path);
        ScenarioResult r;
        {
            py::gil_scoped_release release;
            r = RunScenarioFile(file);
        }
        py::object ns = py::module_::import("types").attr("SimpleNamespace");
        return ns(py::arg("name") = FromLatin1(r.name), py::arg("passed") = r.passed, py::arg("message") = FromLatin1(r.message),
                  py::arg("failed_step") = r.failedStep < 0 ? py::object(py::none()) : py::object(py::int_(r.failedStep)),
                  py::arg("line") = r.line, py::arg("steps_run") = r.stepsRun,
                  py::arg("simulated_ms") = r.simulatedMs, py::arg("printed") = FromLatin1(r.printed));
    });
}
