import inspect

import pytest

import pyzorv
from pyzorv import HttpEmbedder, ZorvValidationError
from pyzorv import pyzorv as native

PROPERTY_ORDER = [
    "endpoint", "api_key", "model", "dimension", "multi_endpoint", "multi_api_key", "multi_model",
    "multi_dimension", "image_endpoint", "image_api_key", "image_model", "image_dimension", "rerank_endpoint",
    "rerank_api_key", "rerank_model", "bm25_k1", "bm25_b", "bm25_avg_len", "bm25_language", "bm25_tokenizer",
    "bm25_lowercase", "bm25_ascii_folding", "bm25_stopwords", "bm25_stopwords_languages", "bm25_stemmer",
    "bm25_min_token_len", "bm25_max_token_len",
]


def make(**kwargs):
    args = {"endpoint": "http://127.0.0.1:1/embed", "model": "mini", "dimension": 2}
    args.update(kwargs)
    return HttpEmbedder(**args)


def test_class_is_exported_after_stmt_with_signature_and_doc():
    names = native.__all__
    assert names.index("Stmt") < names.index("HttpEmbedder") < names.index("__version__")
    assert "HttpEmbedder" in pyzorv.__all__
    params = list(inspect.signature(HttpEmbedder).parameters)
    assert params[:4] == ["endpoint", "model", "dimension", "api_key"]
    assert params[-1] == "bm25_stopwords_languages" and len(params) == 27
    assert HttpEmbedder.__doc__.startswith("Remote (HTTP) embedder configuration as a Python class.\n\n")
    assert HttpEmbedder.__module__ == "pyzorv"
    props = [name for name, value in vars(HttpEmbedder).items() if isinstance(value, type(HttpEmbedder.endpoint))]
    assert props == PROPERTY_ORDER
    with pytest.raises(TypeError):
        type("Sub", (HttpEmbedder,), {})


def test_required_settings_only_read_back_defaults():
    e = make()
    assert (e.endpoint, e.model, e.dimension) == ("http://127.0.0.1:1/embed", "mini", 2)
    assert e.api_key == ""
    assert e.multi_dimension == 0 and e.image_dimension == 0
    others = [n for n in PROPERTY_ORDER if n not in {"endpoint", "model", "dimension", "api_key",
                                                       "multi_dimension", "image_dimension"}]
    assert all(getattr(e, name) is None for name in others)


def test_settings_are_stored_as_given_with_blank_optionals_unset():
    e = HttpEmbedder(" http://h/e ", "m", 3, "k", "  ", "  ", "  ", 4, None, "", "clip", 5, "http://r", None, "rr",
                     2, 0.5, 100, "english", "word", True, False, ("the", "a"), "english", 1, 40, ["german"])
    assert e.endpoint == " http://h/e "
    assert e.multi_endpoint is None and e.multi_model is None
    assert e.multi_api_key == "  "
    assert e.image_api_key == "" and e.image_model == "clip"
    assert (e.multi_dimension, e.image_dimension) == (4, 5)
    assert (e.rerank_endpoint, e.rerank_api_key, e.rerank_model) == ("http://r", None, "rr")
    assert e.bm25_k1 == 2.0 and isinstance(e.bm25_k1, float)
    assert (e.bm25_b, e.bm25_avg_len) == (0.5, 100.0)
    assert (e.bm25_lowercase, e.bm25_ascii_folding) == (True, False)
    assert e.bm25_stopwords == ["the", "a"]
    assert e.bm25_stopwords is not e.bm25_stopwords
    assert e.bm25_stopwords_languages == ["german"]
    assert (e.bm25_min_token_len, e.bm25_max_token_len) == (1, 40)


@pytest.mark.parametrize("kwargs, error, message", [
    ({"endpoint": "   "}, ValueError, "embedding endpoint is required"),
    ({"endpoint": " ", "model": ""}, ValueError, "embedding endpoint is required"),
    ({"model": "\u3000"}, ValueError, "embedding model is required"),
    ({"dimension": 0}, ValueError, "embedding dimension must be positive"),
    ({"dimension": -1}, OverflowError, None),
    ({"dimension": 2 ** 64}, OverflowError, None),
    ({"dimension": "2"}, TypeError, "dimension"),
    ({"bm25_stopwords": "the"}, TypeError, "bm25_stopwords"),
    ({"bm25_stopwords": ["the", 1]}, TypeError, "bm25_stopwords"),
    ({"bm25_lowercase": 1}, TypeError, "bm25_lowercase"),
    ({"bm25_k1": "x"}, TypeError, "bm25_k1"),
    ({"unknown": 1}, TypeError, "unknown"),
])
def test_refused_arguments(kwargs, error, message):
    with pytest.raises(error) as info:
        make(**kwargs)
    assert not isinstance(info.value, pyzorv.ZorvError)
    if message is not None:
        assert message in str(info.value)


def test_missing_required_argument_names_it():
    with pytest.raises(TypeError, match="dimension"):
        HttpEmbedder("http://h/e", "m")


@pytest.mark.parametrize("kwargs", [{"bm25_b": 1.5}, {"bm25_tokenizer": "bogus"}, {"bm25_language": "klingon"}])
def test_bad_bm25_settings_raise_validation_error(kwargs):
    with pytest.raises(ZorvValidationError) as info:
        make(**kwargs)
    assert info.value.code == "ZORV-VALIDATION-CONFIG"
    assert info.value.kind == "Validation"


def test_properties_are_read_only():
    e = make()
    for name in ("endpoint", "dimension", "bm25_stopwords"):
        with pytest.raises(AttributeError):
            setattr(e, name, None)
