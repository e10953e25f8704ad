#include "python/embedder_settings.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "python/http_embedder.h"

namespace zorv::python {
namespace {

// snake_case key and camelCase alias, in the order the dict is read after the three required keys.
constexpr std::array<std::pair<const char*, const char*>, 24> kAliases = {{
    {"api_key", "apiKey"},
    {"multi_endpoint", "multiEndpoint"},
    {"multi_api_key", "multiApiKey"},
    {"multi_model", "multiModel"},
    {"multi_dimension", "multiDimension"},
    {"image_endpoint", "imageEndpoint"},
    {"image_api_key", "imageApiKey"},
    {"image_model", "imageModel"},
    {"image_dimension", "imageDimension"},
    {"rerank_endpoint", "rerankEndpoint"},
    {"rerank_api_key", "rerankApiKey"},
    {"rerank_model", "rerankModel"},
    {"bm25_k1", "bm25K1"},
    {"bm25_b", "bm25B"},
    {"bm25_avg_len", "bm25AvgLen"},
    {"bm25_language", "bm25Language"},
    {"bm25_tokenizer", "bm25Tokenizer"},
    {"bm25_lowercase", "bm25Lowercase"},
    {"bm25_ascii_folding", "bm25AsciiFolding"},
    {"bm25_stopwords", "bm25Stopwords"},
    {"bm25_stopwords_languages", "bm25StopwordsLanguages"},
    {"bm25_stemmer", "bm25Stemmer"},
    {"bm25_min_token_len", "bm25MinTokenLen"},
    {"bm25_max_token_len", "bm25MaxTokenLen"},
}};

// The value under `key`, borrowed; null when missing or None.
PyObject* lookup(PyObject* dict, const char* key) {
    PyObject* value = PyDict_GetItemString(dict, key);
    return value == Py_None ? nullptr : value;
}

bool type_error(PyObject* value, const char* expected) {
    PyErr_Format(PyExc_TypeError, "'%.200s' object is not an instance of '%s'", Py_TYPE(value)->tp_name, expected);
    return false;
}

bool read_text(PyObject* value, std::string& out) {
    if (!PyUnicode_Check(value)) return type_error(value, "str");
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value, &size);
    if (data == nullptr) return false;
    out.assign(data, static_cast<std::size_t>(size));
    return true;
}

bool read_count(PyObject* value, std::uint64_t& out) {
    if (!PyLong_Check(value)) {
        PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be interpreted as an integer", Py_TYPE(value)->tp_name);
        return false;
    }
    unsigned long long n = PyLong_AsUnsignedLongLong(value);
    if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = n;
    return true;
}

bool optional_text(PyObject* dict, const char* key, std::optional<std::string>& out) {
    PyObject* value = lookup(dict, key);
    if (value == nullptr) return true;
    return read_text(value, out.emplace());
}

bool optional_nonblank_text(PyObject* dict, const char* key, std::optional<std::string>& out) {
    if (!optional_text(dict, key, out)) return false;
    if (out && embed::is_blank(*out)) out.reset();
    return true;
}

bool optional_count(PyObject* dict, const char* key, std::optional<std::uint64_t>& out) {
    PyObject* value = lookup(dict, key);
    if (value == nullptr) return true;
    return read_count(value, out.emplace());
}

bool optional_float(PyObject* dict, const char* key, std::optional<double>& out) {
    PyObject* value = lookup(dict, key);
    if (value == nullptr) return true;
    double x = PyFloat_AsDouble(value);
    if (x == -1.0 && PyErr_Occurred()) return false;
    out = x;
    return true;
}

bool optional_flag(PyObject* dict, const char* key, std::optional<bool>& out) {
    PyObject* value = lookup(dict, key);
    if (value == nullptr) return true;
    if (!PyBool_Check(value)) return type_error(value, "bool");
    out = value == Py_True;
    return true;
}

bool optional_texts(PyObject* dict, const char* key, std::optional<std::vector<std::string>>& out) {
    PyObject* value = lookup(dict, key);
    if (value == nullptr) return true;
    if (PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "a str is not taken as a list of str");
        return false;
    }
    if (!PySequence_Check(value)) return type_error(value, "Sequence");
    PyRef items = PyRef::steal(PySequence_Fast(value, "expected a sequence of str"));
    if (!items) return false;
    auto& texts = out.emplace();
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        if (!read_text(PySequence_Fast_GET_ITEM(items.get(), i), texts.emplace_back())) return false;
    }
    return true;
}

bool required(PyObject* dict, const char* key, PyObject*& value) {
    value = lookup(dict, key);
    if (value != nullptr) return true;
    PyErr_Format(PyExc_ValueError, "embedder.%s is required", key);
    return false;
}

bool refuse(const char* message) {
    PyErr_SetString(PyExc_ValueError, message);
    return false;
}

// Settings 5 to 27, in table order.
bool read_optional_settings(PyObject* d, embed::HttpEmbedderConfig& c) {
    std::optional<std::uint64_t> multi_dimension;
    std::optional<std::uint64_t> image_dimension;
    embed::Bm25Settings& b = c.bm25;
    bool ok =
        optional_nonblank_text(d, "multi_endpoint", c.multi_endpoint) &&
        optional_text(d, "multi_api_key", c.multi_api_key) && optional_nonblank_text(d, "multi_model", c.multi_model) &&
        optional_count(d, "multi_dimension", multi_dimension) &&
        optional_nonblank_text(d, "image_endpoint", c.image_endpoint) &&
        optional_text(d, "image_api_key", c.image_api_key) && optional_nonblank_text(d, "image_model", c.image_model) &&
        optional_count(d, "image_dimension", image_dimension) &&
        optional_nonblank_text(d, "rerank_endpoint", c.rerank_endpoint) &&
        optional_text(d, "rerank_api_key", c.rerank_api_key) &&
        optional_nonblank_text(d, "rerank_model", c.rerank_model) && optional_float(d, "bm25_k1", b.k1) &&
        optional_float(d, "bm25_b", b.b) && optional_float(d, "bm25_avg_len", b.avg_len) &&
        optional_text(d, "bm25_language", b.language) && optional_text(d, "bm25_tokenizer", b.tokenizer) &&
        optional_flag(d, "bm25_lowercase", b.lowercase) && optional_flag(d, "bm25_ascii_folding", b.ascii_folding) &&
        optional_texts(d, "bm25_stopwords", b.stopwords) &&
        optional_texts(d, "bm25_stopwords_languages", b.stopwords_languages) &&
        optional_text(d, "bm25_stemmer", b.stemmer) && optional_count(d, "bm25_min_token_len", b.min_token_len) &&
        optional_count(d, "bm25_max_token_len", b.max_token_len);
    c.multi_dimension = multi_dimension.value_or(0);
    c.image_dimension = image_dimension.value_or(0);
    return ok;
}

bool settings_from_dict(PyObject* given, embed::HttpEmbedderConfig& c) {
    PyRef dict = PyRef::steal(PyDict_Copy(given));
    if (!dict) return false;
    PyObject* d = dict.get();
    for (const auto& [key, alias] : kAliases) {
        PyObject* value = PyDict_GetItemString(d, alias);
        if (value != nullptr && value != Py_None && PyDict_SetItemString(d, key, value) < 0) return false;
    }
    PyObject* endpoint = nullptr;
    PyObject* model = nullptr;
    PyObject* dimension = nullptr;
    std::optional<std::string> api_key;
    if (!required(d, "endpoint", endpoint) || !read_text(endpoint, c.endpoint) || !required(d, "model", model) ||
        !read_text(model, c.model) || !required(d, "dimension", dimension) || !read_count(dimension, c.dimension) ||
        !optional_text(d, "api_key", api_key)) {
        return false;
    }
    c.api_key = api_key.value_or("");
    if (embed::is_blank(c.endpoint)) return refuse("embedder.endpoint must not be empty");
    if (embed::is_blank(c.model)) return refuse("embedder.model must not be empty");
    if (c.dimension == 0) return refuse("embedder.dimension must be positive");
    return read_optional_settings(d, c);
}

}  // namespace

bool embedder_settings_from_py(PyObject* embedder, std::optional<embed::HttpEmbedderConfig>& out) {
    out.reset();
    if (embedder == nullptr || embedder == Py_None) return true;
    if (const embed::HttpEmbedderConfig* config = http_embedder_config(embedder)) {
        out = *config;
        return true;
    }
    if (!PyDict_Check(embedder)) {
        PyErr_SetString(PyExc_TypeError, "embedder must be an HttpEmbedder or dict");
        return false;
    }
    embed::HttpEmbedderConfig config;
    if (!settings_from_dict(embedder, config)) return false;
    out = std::move(config);
    return true;
}

}  // namespace zorv::python
