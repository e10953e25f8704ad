"""What pyzorv does without a server: tokenize Zorv statements, and report errors precisely."""

import pyzorv

STATEMENTS = [
    "QUERY [0.1, 0.2, 0.3] FROM docs USING dense WHERE city = 'Berlin' AND price <= 50 LIMIT 5",
    "SHOW COLLECTIONS",
    "QUERY FUSION RRF PREFETCH (QUERY TEXT 'red shoes' USING sparse LIMIT 50) FROM shop LIMIT 10",
    "DELETE FROM docs WHERE payload.tags[].name = 'old' -- tidy up",
]


def show(text):
    print(f"\n{text}")
    for tok in pyzorv.tokenize(text):
        print(f"  {tok['kind']:<12} {tok['text']!r:<22} {tok['pos']:>3}..{tok['end']}")


def main():
    print(f"pyzorv {pyzorv.__version__}")
    for text in STATEMENTS:
        show(text)
    bad = "QUERY [1, 2] FROM docs WHERE a ! b"
    try:
        pyzorv.tokenize(bad)
    except pyzorv.ZorvSyntaxError as exc:
        print(f"\n{bad}\n  -> {type(exc).__name__}: {exc}")
        print(f"     code={exc.code} kind={exc.kind} span={exc.span} fields={exc.fields}")


if __name__ == "__main__":
    main()
