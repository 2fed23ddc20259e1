#include "methods.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>

#include "arrays.h"
#include "quillfen/image/errors.h"
#include "quillfen/watermark/metrics.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/method_key.h"

namespace quillfen::python {

namespace {

// What the object says of itself, read once. The object and its parameters go with the last
// holder, which may be an engine thread: they are let go with the lock taken.
struct Described {
    MethodDeclaration Declared;
    py::object Object;
    py::dict Params;
    std::string ParamsText;  // "a=1,b=x" of Params, in their order
    int TimeLimit = 60;      // seconds, for each call
    std::shared_ptr<MethodCalls> Calls;

    Described() = default;
    Described(const Described&) = delete;
    Described& operator=(const Described&) = delete;
    ~Described() {
        if (!Py_IsInitialized()) {
            // The interpreter is gone: nothing is left to release.
            (void)Object.release();
            (void)Params.release();
            return;
        }
        py::gil_scoped_acquire acquire;
        Object = py::object();
        Params = py::dict();
    }
};

// "ValueError: the message", for a row.
std::string Raised(const py::error_already_set& e) {
    std::string text = py::str(e.type().attr("__name__"));
    const std::string message = py::str(e.value());
    if (!message.empty()) text += ": " + message;
    return text;
}

std::string Raised(const py::handle& exception) {
    std::string text = py::str(exception.get_type().attr("__name__"));
    const std::string message = py::str(exception);
    if (!message.empty()) text += ": " + message;
    return text;
}

// The exceptions raised in a call that is left (BaseException's, so that a method's
// `except Exception` does not keep running past them). Made once, never released: they live
// as long as the interpreter's module.
PyObject* gTimeLimit = nullptr;
PyObject* gStopped = nullptr;

}  // namespace

// One call of a method object, made on a Python thread of its own (quillfen._sweep's
// _start_method_call), which reports its end through a _MethodCall handle.
struct MethodCall {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Finished = false;
    bool Stopping = false;  // the run is stopped: the call is left
    bool Left = false;      // no one waits for its result any more
    unsigned long Thread = 0;
    // With the interpreter's lock, set by the call's thread and taken by the waiting one.
    py::object Result;
    py::object Failure;
    ~MethodCall() {
        if (!Result && !Failure) return;
        if (!Py_IsInitialized()) {
            (void)Result.release();
            (void)Failure.release();
            return;
        }
        py::gil_scoped_acquire acquire;
        Result = py::object();
        Failure = py::object();
    }
};

namespace {

struct MethodCallHandle {
    std::shared_ptr<MethodCall> Call;

    // Called by the call's thread with the interpreter's lock held.
    void End(py::object result, py::object failure) const {
        const std::lock_guard<std::mutex> lock(Call->Mutex);
        if (Call->Finished) return;
        Call->Finished = true;
        if (!Call->Left) {
            Call->Result = std::move(result);
            Call->Failure = std::move(failure);
        }
        Call->Changed.notify_all();
    }
};

double Number(const py::handle& value, const std::string& what) {
    if (py::isinstance<py::bool_>(value) || !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value) ||
                                              py::hasattr(value, "__float__")))
        throw ArgumentError(what + " is not a number");
    double number = 0;
    try {
        number = value.cast<double>();
    } catch (const py::cast_error&) {
        throw ArgumentError(what + " is not a number");
    }
    if (!std::isfinite(number)) throw ArgumentError(what + " is not a finite number");
    return number;
}

std::vector<std::uint8_t> BytesOfKey(const py::handle& value) {
    if (!py::isinstance<py::bytes>(value) && !PyByteArray_Check(value.ptr()) && !PyMemoryView_Check(value.ptr()))
        throw ArgumentError("embed returned a key that is not bytes but " +
                            std::string(py::str(value.get_type().attr("__name__"))));
    const std::string text = py::bytes(py::reinterpret_borrow<py::object>(value));
    return {text.begin(), text.end()};
}

// The bits of a detection: a text of 0 and 1 or a sequence of them.
std::vector<std::uint8_t> BitsOf(const py::handle& value, int count) {
    std::vector<std::uint8_t> bits;
    const std::string wrong = "detect returned \"bits\" that are not " + std::to_string(count) + " bits 0 and 1";
    if (py::isinstance<py::str>(value)) {
        for (const char c : value.cast<std::string>()) {
            if (c != '0' && c != '1') throw ArgumentError(wrong);
            bits.push_back(c == '1' ? 1 : 0);
        }
    } else {
        if (!py::isinstance<py::sequence>(value) && !py::isinstance<py::array>(value)) throw ArgumentError(wrong);
        for (const py::handle bit : value) {
            if (py::isinstance<py::float_>(bit)) throw ArgumentError(wrong);
            py::int_ number;
            try {
                number = py::int_(py::reinterpret_borrow<py::object>(bit));
            } catch (const py::error_already_set&) {
                throw ArgumentError(wrong);
            }
            if (!number.equal(py::int_(0)) && !number.equal(py::int_(1))) throw ArgumentError(wrong);
            const int b = number.equal(py::int_(1)) ? 1 : 0;
            bits.push_back(static_cast<std::uint8_t>(b));
        }
    }
    if (bits.size() != static_cast<std::size_t>(count)) throw ArgumentError(wrong);
    return bits;
}

class ObjectMethod final : public DeclaredMethod {
public:
    ObjectMethod(std::shared_ptr<const Described> object, MethodSpec described)
        : DeclaredMethod(std::move(described)), d_(std::move(object)) {}


    MethodMarked Embed(const ImageView& host, const MethodPayload& payload, std::uint32_t seed) const override {
        CheckImageView(host, "host picture");
        CheckPayload(payload);
        const GrayPlane gray = ToPlane(host.Gray());
        MethodMarked result;
        std::vector<std::uint8_t> key;
        Invoke(
            "embed",
            [&](py::tuple& arguments, py::dict& keywords) {
                py::array_t<std::uint8_t> bits(static_cast<py::ssize_t>(payload.Bits.size()));
                std::copy(payload.Bits.begin(), payload.Bits.end(), bits.mutable_data());
                for (const auto& [name, value] : d_->Params) keywords[name] = value;
                if (Strength()) keywords["strength"] = *Strength();
                arguments = py::make_tuple(ArrayOf(gray), bits, seed);
            },
            [&](const py::object& returned) {
                if (!py::isinstance<py::tuple>(returned) || py::len(returned) != 2)
                    throw ArgumentError("embed returned no pair (marked picture, key bytes)");
                const py::tuple pair = returned;
                const Picture marked = PictureOf(pair[0], "the marked picture embed returned");
                if (marked.channels != 1 || marked.view.width != gray.width() || marked.view.height != gray.height())
                    throw ArgumentError("embed returned a marked picture of shape " +
                                        std::string(py::str(marked.array.attr("shape"))) + " for a host of (" +
                                        std::to_string(gray.height()) + ", " + std::to_string(gray.width()) + ")");
                result.Picture = BitmapOf(marked);
                key = BytesOfKey(pair[1]);
            });
        result.Psnr = BytePsnr(GrayOf(result.Picture).pixels(), gray.pixels());
        MethodKey& record = result.Key;
        record.Method = Name();
        record.Parameters = Parameters();
        record.Seed = seed;
        record.HostWidth = gray.width();
        record.HostHeight = gray.height();
        record.Payload = payload.Bits;
        record.Bytes = std::move(key);
        return result;
    }

    MethodReading Detect(const ImageView& suspect, const MethodKey& key, ReadDepth) const override {
        CheckImageView(suspect, "suspect picture");
        if (key.Method != Name()) throw ArgumentError(Fail("the key is not one of its embeddings"));
        const GrayPlane gray = ToPlane(suspect.Gray());
        MethodReading reading;
        Invoke(
            "detect",
            [&](py::tuple& arguments, py::dict&) {
                const py::bytes keyBytes(reinterpret_cast<const char*>(key.Bytes.data()), key.Bytes.size());
                arguments = py::make_tuple(ArrayOf(gray), keyBytes);
            },
            [&](const py::object& returned) {
                py::object score = returned;
                py::object bits = py::none();
                if (py::isinstance<py::dict>(returned)) {
                    const py::dict found = returned;
                    if (!found.contains("score")) throw ArgumentError("detect returned a dict without \"score\"");
                    score = found["score"];
                    if (found.contains("bits")) bits = found["bits"];
                }
                reading.Score = Number(score, "the score detect returned");
                if (!(reading.Score >= -1 && reading.Score <= 1))
                    throw ArgumentError("detect returned a score of " + FormatNumber(reading.Score) + ", outside -1..1");
                if (PayloadBits() > 0) {
                    if (bits.is_none())
                        throw ArgumentError("detect returned no \"bits\" (it carries " + std::to_string(PayloadBits()) +
                                            "; return {\"score\": s, \"bits\": [...]})");
                    reading.Bits = BitsOf(bits, PayloadBits());
                    reading.BitAccuracy = BitAccuracy(reading.Bits, key.Payload);
                    reading.Ber = 1 - *reading.BitAccuracy;
                }
            });
        return reading;
    }

private:

    // Calls the object's `what` with the arguments `build` makes and hands what it returns to
    // `use` (both with the interpreter's lock held): on a thread of its own, waited for up to
    // the time limit or until the run is stopped, when it is left with an exception raised in
    // it. Error naming the method for all that goes wrong.
    template <class Build, class Use>
    void Invoke(const char* what, Build build, Use use) const {
        const std::string called(what);
        auto call = std::make_shared<MethodCall>();
        if (d_->Calls && !d_->Calls->Add(call)) throw Error(Fail(called + " was not called: the run was stopped"));
        struct Leave {
            const Described& d;
            const MethodCall* call;
            ~Leave() {
                if (d.Calls) d.Calls->Remove(call);
            }
        } leave{*d_, call.get()};
        {
            py::gil_scoped_acquire acquire;
            try {
                py::tuple arguments;
                py::dict keywords;
                build(arguments, keywords);
                const py::object thread = py::module_::import("quillfen._sweep").attr("_start_method_call")(
                    MethodCallHandle{call}, d_->Object.attr(what), arguments, keywords);
                call->Thread = thread.cast<unsigned long>();
            } catch (py::error_already_set& e) {
                throw Error(Fail(called + " could not be called: " + Raised(e)));
            } catch (const Error& e) {
                throw Error(Fail(e.what()));
            }
        }
        std::unique_lock<std::mutex> lock(call->Mutex);
        call->Changed.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::seconds(d_->TimeLimit),
                                 [&] { return call->Finished || call->Stopping; });
        const bool stopping = call->Stopping;
        lock.unlock();
        py::gil_scoped_acquire acquire;
        lock.lock();
        if (!call->Finished) {
            // Left: the call's thread gets the exception at its next Python instruction, and
            // whatever it returns later is dropped.
            call->Left = true;
            lock.unlock();
            PyThreadState_SetAsyncExc(call->Thread, stopping ? gStopped : gTimeLimit);
            if (stopping) throw Error(Fail(called + " was stopped with the run"));
            throw Error(Fail(called + " ran past its time limit of " + std::to_string(d_->TimeLimit) +
                             " s and was stopped"));
        }
        const py::object result = std::move(call->Result);
        const py::object failure = std::move(call->Failure);
        call->Result = py::object();
        call->Failure = py::object();
        lock.unlock();
        if (failure) throw Error(Fail(called + " raised " + Raised(failure)));
        try {
            use(result);
        } catch (py::error_already_set& e) {
            throw Error(Fail(called + " returned what cannot be read: " + Raised(e)));
        } catch (const Error& e) {
            throw Error(Fail(e.what()));
        }
    }

    std::shared_ptr<const Described> d_;
};

std::string ParamText(const py::handle& value) {
    if (py::isinstance<py::float_>(value)) return FormatNumber(value.cast<double>());
    return py::str(value);
}

}  // namespace

void MethodCalls::Stop() {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    for (const std::weak_ptr<MethodCall>& active : active_)
        if (const std::shared_ptr<MethodCall> call = active.lock()) {
            const std::lock_guard<std::mutex> callLock(call->Mutex);
            call->Stopping = true;
            call->Changed.notify_all();
        }
}

bool MethodCalls::Add(const std::shared_ptr<MethodCall>& call) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return false;
    active_.push_back(call);
    return true;
}

void MethodCalls::Remove(const MethodCall* call) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(active_, [call](const std::weak_ptr<MethodCall>& active) {
        const std::shared_ptr<MethodCall> held = active.lock();
        return !held || held.get() == call;
    });
}

std::shared_ptr<const MethodInfo> PythonMethod(const py::handle& object, std::shared_ptr<MethodCalls> calls) {
    auto d = std::make_shared<Described>();
    d->Object = py::reinterpret_borrow<py::object>(object);
    d->Calls = std::move(calls);
    const std::string kind = py::str(object.get_type().attr("__name__"));
    const auto fail = [&](const std::string& what) { return ArgumentError("a method object (" + kind + ") " + what); };
    if (!py::hasattr(object, "name") || !py::isinstance<py::str>(object.attr("name")))
        throw fail("has no name (a text attribute `name`)");
    d->Declared.Name = object.attr("name").cast<std::string>();
    if (d->Declared.Name.empty() || d->Declared.Name.size() > kMaxMethodNameBytes ||
        d->Declared.Name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") !=
            std::string::npos)
        throw fail("has the name '" + d->Declared.Name + "', not a word of letters, digits, - _ and . (at most " +
                   std::to_string(kMaxMethodNameBytes) + ")");
    if (MethodRegistry::BuiltIn().Find(d->Declared.Name) != nullptr) throw fail("is named '" + d->Declared.Name + "', the name of a method of the catalogue");
    for (const char* needed : {"embed", "detect"})
        if (!py::hasattr(object, needed) || !PyCallable_Check(object.attr(needed).ptr()))
            throw fail(std::string("has no method ") + needed + "()");
    const auto attribute = [&](const char* name) {
        return py::hasattr(object, name) ? object.attr(name) : py::object(py::none());
    };
    if (const py::object bits = attribute("payload_bits"); !bits.is_none()) {
        if (!py::isinstance<py::int_>(bits) || py::isinstance<py::bool_>(bits) || bits.cast<long long>() < 0 ||
            bits.cast<long long>() > kMaxPayloadBits)
            throw fail("has payload_bits that are not a whole number 0.." + std::to_string(kMaxPayloadBits));
        d->Declared.PayloadBits = bits.cast<int>();
    }
    if (const py::object t = attribute("thresholds"); !t.is_none()) {
        if (!py::isinstance<py::dict>(t) || !t.contains("1e-3") || !t.contains("1e-6"))
            throw fail("has thresholds that are not {\"1e-3\": t, \"1e-6\": t}");
        const double at3 = Number(t["1e-3"], "its threshold at 1e-3");
        const double at6 = Number(t["1e-6"], "its threshold at 1e-6");
        if (!(at3 > -1 && at3 <= 1 && at6 > -1 && at6 <= 1 && at6 >= at3))
            throw fail("has thresholds outside -1..1 or the one at 1e-6 below the one at 1e-3");
        d->Declared.Thresholds = std::pair{at3, at6};
    }
    if (const py::object s = attribute("strength"); !s.is_none()) {
        if (!py::isinstance<py::dict>(s) || !s.contains("lowest") || !s.contains("highest") || !s.contains("default"))
            throw fail("has a strength that is not {\"lowest\": a, \"highest\": b, \"default\": c}");
        const double lowest = Number(s["lowest"], "its lowest strength");
        const double highest = Number(s["highest"], "its highest strength");
        const double given = Number(s["default"], "its default strength");
        if (!(lowest > 0 && lowest <= given && given <= highest))
            throw fail("has a strength without 0 < lowest <= default <= highest");
        d->Declared.Strength = Parameter{"strength", lowest, highest, false, false, given, "the method's strength"};
    }
    if (const py::object p = attribute("params"); !p.is_none()) {
        if (!py::isinstance<py::dict>(p)) throw fail("has params that are not a dict of keyword arguments");
        for (const auto& [name, value] : p.cast<py::dict>()) {
            if (!py::isinstance<py::str>(name) || (d->Declared.Strength && name.cast<std::string>() == "strength"))
                throw fail("has params whose names are not texts, or name the strength");
            d->Params[name] = value;
            if (!d->ParamsText.empty()) d->ParamsText.push_back(',');
            d->ParamsText.append(name.cast<std::string>()).append("=").append(ParamText(value));
        }
        if (d->ParamsText.size() > kMaxMethodParametersBytes / 2) throw fail("has params too long to name in a key");
    }
    if (const py::object limit = attribute("time_limit_seconds"); !limit.is_none()) {
        if (!py::isinstance<py::int_>(limit) || py::isinstance<py::bool_>(limit) || limit.cast<long long>() < 1 ||
            limit.cast<long long>() > 3600)
            throw fail("has a time_limit_seconds that is not a whole number 1..3600");
        d->TimeLimit = limit.cast<int>();
    }
    d->Declared.Summary = "a method written in Python (" + kind + ")";
    std::shared_ptr<const Described> described = std::move(d);
    std::string extra = described->ParamsText;
    return DeclaredEntry(described->Declared,
                         [described, extra](const MethodSpec& values) -> std::unique_ptr<WatermarkMethod> {
                             MethodSpec own = values;
                             own.Extra = extra;
                             return std::make_unique<ObjectMethod>(described, own);
                         });
}

SweepMethod PythonSweepMethod(const py::handle& object, std::shared_ptr<MethodCalls> calls) {
    const std::shared_ptr<const MethodInfo> entry = PythonMethod(object, std::move(calls));
    return SweepMethodOf(MakeMethod(DefaultsOf(entry)), "the thresholds of the method object " + entry->Name);
}

void RegisterMethodCalls(py::module_& m) {
    py::class_<MethodCallHandle>(m, "_MethodCall")
        .def("done", [](const MethodCallHandle& h, py::object result) { h.End(std::move(result), py::object()); })
        .def("fail", [](const MethodCallHandle& h, py::object failure) { h.End(py::object(), std::move(failure)); });
    gTimeLimit = PyErr_NewException("quillfen._quillfen.MethodTimeLimit", PyExc_BaseException, nullptr);
    gStopped = PyErr_NewException("quillfen._quillfen.MethodStopped", PyExc_BaseException, nullptr);
    if (gTimeLimit == nullptr || gStopped == nullptr) throw py::error_already_set();
    m.attr("MethodTimeLimit") = py::reinterpret_borrow<py::object>(gTimeLimit);
    m.attr("MethodStopped") = py::reinterpret_borrow<py::object>(gStopped);
}

}  // namespace quillfen::python
