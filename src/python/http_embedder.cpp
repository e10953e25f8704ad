#include "python/http_embedder.h"

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "python/args.h"
#include "python/errors.h"

namespace zorv::python {
namespace {

constexpr const char* kClass = "HttpEmbedder";

constexpr const char* kDoc =
    "HttpEmbedder(endpoint, model, dimension, api_key=None, multi_endpoint=None, multi_api_key=None, "
    "multi_model=None, multi_dimension=None, image_endpoint=None, image_api_key=None, image_model=None, "
    "image_dimension=None, rerank_endpoint=None, rerank_api_key=None, rerank_model=None, bm25_k1=None, "
    "bm25_b=None, bm25_avg_len=None, bm25_language=None, bm25_tokenizer=None, bm25_lowercase=None, "
    "bm25_ascii_folding=None, bm25_stopwords=None, bm25_stemmer=None, bm25_min_token_len=None, "
    "bm25_max_token_len=None, bm25_stopwords_languages=None)\n--\n\n"
    "Remote (HTTP) embedder configuration as a Python class.\n\n"
    "Sparse document encoding is always local (the HTTP endpoint only serves\n"
    "dense/multi/image/rerank), so the BM25 knobs ride the same constructor.";

struct HttpEmbedderObject {
    PyObject_HEAD embed::HttpEmbedderConfig config;
};

HttpEmbedderObject* as_embedder(PyObject* self) { return reinterpret_cast<HttpEmbedderObject*>(self); }

// The argument converters: each returns false with the Python error set.

bool to_text(const char* name, PyObject* obj, std::string& out) {
    auto text = str_arg(kClass, name, obj);
    if (!text) return false;
    out.assign(*text);
    return true;
}

bool to_optional_text(const char* name, PyObject* obj, std::optional<std::string>& out) {
    if (obj == nullptr || obj == Py_None) return true;
    return to_text(name, obj, out.emplace());
}

// Negative or too large values keep the interpreter's own OverflowError.
bool to_u64(const char* name, PyObject* obj, std::uint64_t& out) {
    if (!PyIndex_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be int, not %.200s", kClass, name,
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    PyRef index = PyRef::steal(PyNumber_Index(obj));
    if (!index) return false;
    unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = value;
    return true;
}

bool to_optional_u64(const char* name, PyObject* obj, std::optional<std::uint64_t>& out) {
    if (obj == nullptr || obj == Py_None) return true;
    return to_u64(name, obj, out.emplace());
}

bool to_optional_float(const char* name, PyObject* obj, std::optional<double>& out) {
    if (obj == nullptr || obj == Py_None) return true;
    double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be float, not %.200s", kClass, name,
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    out = value;
    return true;
}

bool to_optional_bool(const char* name, PyObject* obj, std::optional<bool>& out) {
    if (obj == nullptr || obj == Py_None) return true;
    if (!PyBool_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be bool, not %.200s", kClass, name,
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    out = obj == Py_True;
    return true;
}

bool to_optional_texts(const char* name, PyObject* obj, std::optional<std::vector<std::string>>& out) {
    if (obj == nullptr || obj == Py_None) return true;
    if (PyUnicode_Check(obj) || !PySequence_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be a sequence of str, not %.200s", kClass, name,
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    PyRef items = PyRef::steal(PySequence_Fast(obj, "expected a sequence"));
    if (!items) return false;
    auto& texts = out.emplace();
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(items.get());
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (!to_text(name, PySequence_Fast_GET_ITEM(items.get(), i), texts.emplace_back())) return false;
    }
    return true;
}

constexpr std::size_t kArgs = 27;
// Declaration order; the text signature and the extraction follow it.
constexpr std::array<const char*, kArgs + 1> kNames = {"endpoint",
                                                       "model",
                                                       "dimension",
                                                       "api_key",
                                                       "multi_endpoint",
                                                       "multi_api_key",
                                                       "multi_model",
                                                       "multi_dimension",
                                                       "image_endpoint",
                                                       "image_api_key",
                                                       "image_model",
                                                       "image_dimension",
                                                       "rerank_endpoint",
                                                       "rerank_api_key",
                                                       "rerank_model",
                                                       "bm25_k1",
                                                       "bm25_b",
                                                       "bm25_avg_len",
                                                       "bm25_language",
                                                       "bm25_tokenizer",
                                                       "bm25_lowercase",
                                                       "bm25_ascii_folding",
                                                       "bm25_stopwords",
                                                       "bm25_stemmer",
                                                       "bm25_min_token_len",
                                                       "bm25_max_token_len",
                                                       "bm25_stopwords_languages",
                                                       nullptr};

// Converts the arguments in declaration order; the first failure stops.
bool extract_config(const std::array<PyObject*, kArgs>& a, embed::HttpEmbedderConfig& c) {
    std::optional<std::string> api_key;
    std::optional<std::uint64_t> multi_dimension;
    std::optional<std::uint64_t> image_dimension;
    embed::Bm25Settings& b = c.bm25;
    bool ok =
        to_text(kNames[0], a[0], c.endpoint) && to_text(kNames[1], a[1], c.model) &&
        to_u64(kNames[2], a[2], c.dimension) && to_optional_text(kNames[3], a[3], api_key) &&
        to_optional_text(kNames[4], a[4], c.multi_endpoint) && to_optional_text(kNames[5], a[5], c.multi_api_key) &&
        to_optional_text(kNames[6], a[6], c.multi_model) && to_optional_u64(kNames[7], a[7], multi_dimension) &&
        to_optional_text(kNames[8], a[8], c.image_endpoint) && to_optional_text(kNames[9], a[9], c.image_api_key) &&
        to_optional_text(kNames[10], a[10], c.image_model) && to_optional_u64(kNames[11], a[11], image_dimension) &&
        to_optional_text(kNames[12], a[12], c.rerank_endpoint) &&
        to_optional_text(kNames[13], a[13], c.rerank_api_key) && to_optional_text(kNames[14], a[14], c.rerank_model) &&
        to_optional_float(kNames[15], a[15], b.k1) && to_optional_float(kNames[16], a[16], b.b) &&
        to_optional_float(kNames[17], a[17], b.avg_len) && to_optional_text(kNames[18], a[18], b.language) &&
        to_optional_text(kNames[19], a[19], b.tokenizer) && to_optional_bool(kNames[20], a[20], b.lowercase) &&
        to_optional_bool(kNames[21], a[21], b.ascii_folding) && to_optional_texts(kNames[22], a[22], b.stopwords) &&
        to_optional_text(kNames[23], a[23], b.stemmer) && to_optional_u64(kNames[24], a[24], b.min_token_len) &&
        to_optional_u64(kNames[25], a[25], b.max_token_len) &&
        to_optional_texts(kNames[26], a[26], b.stopwords_languages);
    c.api_key = api_key.value_or("");
    c.multi_dimension = multi_dimension.value_or(0);
    c.image_dimension = image_dimension.value_or(0);
    return ok;
}

// The constructor's checks: plain ValueErrors, then the BM25 settings as ZorvValidationError.
bool validate_embedder_settings(embed::HttpEmbedderConfig& c) {
    const char* refusal = embed::is_blank(c.endpoint) ? "embedding endpoint is required"
                          : embed::is_blank(c.model)  ? "embedding model is required"
                          : c.dimension == 0          ? "embedding dimension must be positive"
                                                      : nullptr;
    if (refusal != nullptr) {
        PyErr_SetString(PyExc_ValueError, refusal);
        return false;
    }
    auto bm25 = embed::build_bm25_config(c.bm25);
    if (!bm25) {
        raise_zorv_error(std::move(bm25.error()), kValidationErrorClass);
        return false;
    }
    for (auto* optional :
         {&c.multi_endpoint, &c.multi_model, &c.image_endpoint, &c.image_model, &c.rerank_endpoint, &c.rerank_model}) {
        if (*optional && embed::is_blank(**optional)) optional->reset();
    }
    return true;
}

PyObject* embedder_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    std::array<PyObject*, kArgs> a{};
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): the C API takes char**.
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|OOOOOOOOOOOOOOOOOOOOOOOO:HttpEmbedder",
                                     const_cast<char**>(kNames.data()), &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &a[6],
                                     &a[7], &a[8], &a[9], &a[10], &a[11], &a[12], &a[13], &a[14], &a[15], &a[16],
                                     &a[17], &a[18], &a[19], &a[20], &a[21], &a[22], &a[23], &a[24], &a[25], &a[26])) {
        return nullptr;
    }
    embed::HttpEmbedderConfig config;
    if (!extract_config(a, config) || !validate_embedder_settings(config)) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&as_embedder(self)->config) embed::HttpEmbedderConfig(std::move(config));
    return self;
}

void embedder_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    std::destroy_at(&as_embedder(self)->config);
    type->tp_free(self);
    Py_DECREF(type);
}

// Property readers.

PyObject* text_to_py(const std::string& text) { return py_str(text).release(); }

PyObject* optional_text_to_py(const std::optional<std::string>& text) {
    if (!text) Py_RETURN_NONE;
    return text_to_py(*text);
}

PyObject* optional_float_to_py(const std::optional<double>& value) {
    if (!value) Py_RETURN_NONE;
    return PyFloat_FromDouble(*value);
}

PyObject* optional_bool_to_py(const std::optional<bool>& value) {
    if (!value) Py_RETURN_NONE;
    return PyBool_FromLong(*value ? 1 : 0);
}

PyObject* optional_u64_to_py(const std::optional<std::uint64_t>& value) {
    if (!value) Py_RETURN_NONE;
    return PyLong_FromUnsignedLongLong(*value);
}

PyObject* optional_str_list_to_py(const std::optional<std::vector<std::string>>& texts) {
    if (!texts) Py_RETURN_NONE;
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(texts->size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < texts->size(); ++i) {
        PyObject* item = text_to_py((*texts)[i]);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

#define ZORV_GETTER(name, convert, field) \
    PyObject* get_##name(PyObject* self, void*) { return convert(as_embedder(self)->config.field); }

ZORV_GETTER(endpoint, text_to_py, endpoint)
ZORV_GETTER(api_key, text_to_py, api_key)
ZORV_GETTER(model, text_to_py, model)
ZORV_GETTER(dimension, PyLong_FromUnsignedLongLong, dimension)
ZORV_GETTER(multi_endpoint, optional_text_to_py, multi_endpoint)
ZORV_GETTER(multi_api_key, optional_text_to_py, multi_api_key)
ZORV_GETTER(multi_model, optional_text_to_py, multi_model)
ZORV_GETTER(multi_dimension, PyLong_FromUnsignedLongLong, multi_dimension)
ZORV_GETTER(image_endpoint, optional_text_to_py, image_endpoint)
ZORV_GETTER(image_api_key, optional_text_to_py, image_api_key)
ZORV_GETTER(image_model, optional_text_to_py, image_model)
ZORV_GETTER(image_dimension, PyLong_FromUnsignedLongLong, image_dimension)
ZORV_GETTER(rerank_endpoint, optional_text_to_py, rerank_endpoint)
ZORV_GETTER(rerank_api_key, optional_text_to_py, rerank_api_key)
ZORV_GETTER(rerank_model, optional_text_to_py, rerank_model)
ZORV_GETTER(bm25_k1, optional_float_to_py, bm25.k1)
ZORV_GETTER(bm25_b, optional_float_to_py, bm25.b)
ZORV_GETTER(bm25_avg_len, optional_float_to_py, bm25.avg_len)
ZORV_GETTER(bm25_language, optional_text_to_py, bm25.language)
ZORV_GETTER(bm25_tokenizer, optional_text_to_py, bm25.tokenizer)
ZORV_GETTER(bm25_lowercase, optional_bool_to_py, bm25.lowercase)
ZORV_GETTER(bm25_ascii_folding, optional_bool_to_py, bm25.ascii_folding)
ZORV_GETTER(bm25_stopwords, optional_str_list_to_py, bm25.stopwords)
ZORV_GETTER(bm25_stopwords_languages, optional_str_list_to_py, bm25.stopwords_languages)
ZORV_GETTER(bm25_stemmer, optional_text_to_py, bm25.stemmer)
ZORV_GETTER(bm25_min_token_len, optional_u64_to_py, bm25.min_token_len)
ZORV_GETTER(bm25_max_token_len, optional_u64_to_py, bm25.max_token_len)
#undef ZORV_GETTER

#define ZORV_PROPERTY(name, doc) \
    { #name, get_##name, nullptr, const_cast<char*>(doc), nullptr }

PyGetSetDef embedder_getset[] = {
    ZORV_PROPERTY(endpoint, "Dense embedding endpoint URL (required, non-empty)."),
    ZORV_PROPERTY(api_key, "Bearer token for `endpoint` (empty = unauthenticated)."),
    ZORV_PROPERTY(model, "Dense model name (required, non-empty)."),
    ZORV_PROPERTY(dimension, "Expected dense dimension (must be positive)."),
    ZORV_PROPERTY(multi_endpoint, "ColBERT/multi endpoint; falls back to `endpoint` when unset."),
    ZORV_PROPERTY(multi_api_key, "Bearer token for `multi_endpoint`."),
    ZORV_PROPERTY(multi_model, "Multi model name; falls back to `model` when unset."),
    ZORV_PROPERTY(multi_dimension, "Expected per-token dimension (`0` skips checks)."),
    ZORV_PROPERTY(image_endpoint, "Image/CLIP endpoint; falls back to `endpoint` when unset."),
    ZORV_PROPERTY(image_api_key, "Bearer token for `image_endpoint`."),
    ZORV_PROPERTY(image_model, "Image model name; falls back to `model` when unset."),
    ZORV_PROPERTY(image_dimension, "Expected image dimension (`0` falls back to the dense dimension)."),
    ZORV_PROPERTY(rerank_endpoint, "Cross-encoder rerank endpoint."),
    ZORV_PROPERTY(rerank_api_key, "Bearer token for the rerank endpoint."),
    ZORV_PROPERTY(rerank_model, "Cross-encoder rerank model name."),
    ZORV_PROPERTY(bm25_k1, "Client-side BM25 `k1` (document encoding)."),
    ZORV_PROPERTY(bm25_b, "Client-side BM25 `b` (length normalization)."),
    ZORV_PROPERTY(bm25_avg_len, "Client-side BM25 expected average document length."),
    ZORV_PROPERTY(bm25_language, "BM25 text-processing language."),
    ZORV_PROPERTY(bm25_tokenizer, "BM25 tokenizer."),
    ZORV_PROPERTY(bm25_lowercase, "Lowercase before matching."),
    ZORV_PROPERTY(bm25_ascii_folding, "Lucene ASCII-folding before lowercasing."),
    ZORV_PROPERTY(bm25_stopwords, "Custom stopwords replacing the language default."),
    ZORV_PROPERTY(bm25_stopwords_languages, "Additional language stopword lists merged with `bm25_stopwords`."),
    ZORV_PROPERTY(bm25_stemmer, "Stemmer override."),
    ZORV_PROPERTY(bm25_min_token_len, "Minimum token length in chars."),
    ZORV_PROPERTY(bm25_max_token_len, "Maximum token length in chars."),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
#undef ZORV_PROPERTY

PyType_Slot embedder_slots[] = {
    {Py_tp_doc, const_cast<char*>(kDoc)},
    {Py_tp_new, reinterpret_cast<void*>(embedder_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(embedder_dealloc)},
    {Py_tp_getset, embedder_getset},
    {0, nullptr},
};

// No Py_TPFLAGS_BASETYPE: HttpEmbedder cannot be subclassed. Named as Stmt is, for __module__.
PyType_Spec embedder_spec = {
    "pyzorv.HttpEmbedder", static_cast<int>(sizeof(HttpEmbedderObject)), 0, Py_TPFLAGS_DEFAULT, embedder_slots,
};

PyObject* embedder_type_cell = nullptr;

}  // namespace

PyObject* http_embedder_type_object() {
    if (embedder_type_cell != nullptr) return embedder_type_cell;
    PyObject* type = PyType_FromSpec(&embedder_spec);
    if (type == nullptr) return nullptr;
    if (embedder_type_cell != nullptr) {
        Py_DECREF(type);
        return embedder_type_cell;
    }
    reinterpret_cast<PyTypeObject*>(type)->tp_name = "HttpEmbedder";
    embedder_type_cell = type;
    return embedder_type_cell;
}

const embed::HttpEmbedderConfig* http_embedder_config(PyObject* obj) {
    auto* type = reinterpret_cast<PyTypeObject*>(http_embedder_type_object());
    if (type == nullptr) {
        PyErr_Clear();
        return nullptr;
    }
    return PyObject_TypeCheck(obj, type) ? &as_embedder(obj)->config : nullptr;
}

}  // namespace zorv::python
