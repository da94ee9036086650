"""What a dask worker answers when asked whether it can use vorlex
(vorlex.numcodecs.check_workers). The function travels by value, so a
worker runs it even when it cannot import vorlex, and says why."""


def probe(codecs):
    """"ok VERSION PATH" when vorlex and vorlex.numcodecs import and every
    codec named loads here; else what is wrong."""
    try:
        import vorlex
        import vorlex.numcodecs  # noqa: F401 (numcodecs too)
    except Exception as e:  # any failure to import is the answer
        return f"cannot import vorlex: {type(e).__name__}: {e}"
    have = vorlex.codecs()
    missing = [c for c in codecs if c not in have]
    if missing:
        return (f"codecs that do not load here: {', '.join(missing)} "
                f"(loaded: {', '.join(have) or 'none'})")
    return f"ok {vorlex.__version__} {vorlex.__file__}"
