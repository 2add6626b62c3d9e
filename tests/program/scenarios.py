"""What a person does with the program, shared by the build-tree and the package tests."""

import string

from xsession import MapWatcher, Program, WAIT_SECONDS, wait_until

AMBIGUOUS = set("01IOl")

CANDIDATES_LINE = ("[resource_path] candidates=['src/resources/ui/main_window.ui', "
                   "'resources/ui/main_window.ui', 'zelkora/resources/ui/main_window.ui']")

# Options a first run sets; the second run must come back with them.
CHANGED_LENGTH = 24
CHANGED_COUNT = 3
CHANGED_SYMBOLS = "+-*"


def start_and_close(test, server, form, executable, sandbox, wrapper=(), extra_env=None, end_within=WAIT_SECONDS):
    """Starts the program, waits for its window, closes it as a window manager would.

    Returns the finished Program. Asserts the window was mapped with the form's title
    and that closing it ends the process with status 0 within `end_within` seconds.
    """
    watcher = MapWatcher(server)
    program = Program(executable, server, sandbox, wrapper, extra_env=extra_env)
    try:
        window = server.wait_for_window(program, form.title)
        test.assertIn(window.id, watcher.collect(), "the window was never mapped")
        server.close_window(window)
        test.assertEqual(program.wait(end_within), 0, f"stderr: {program.stderr_text()!r}")
    finally:
        program.kill()
        watcher.close()
    return program


def packaged_lookup_lines(app, top, sep="/"):
    """The form lookup a packaged start logs when its executable lies in a folder `app`
    named "app" below `top`, and the form in app/zelkora/: paths as the program writes
    them, `sep` between their parts."""
    return [
        "[resource_path] frozen=True",
        f"[resource_path] bases=[{app}, {app}{sep}src, {top}]",
        CANDIDATES_LINE,
        f"[resource_path] hit={sep.join([str(app), 'zelkora', 'resources', 'ui', 'main_window.ui'])}",
    ]


def failed_start(test, server, executable, sandbox, top, expected, wrapper=(), extra_env=None):
    """Starts a program whose start must fail, and checks how it failed.

    `expected` is (kind, starts, holds, ends, log_made): status 1, one line on standard
    error of that kind that starts, holds and ends as given, no window, and the log
    folder under `top` made and probed clean, or left as the file that stood in its way.
    `extra_env` is added to the environment the program starts in.
    """
    kind, starts, holds, ends, log_made = expected
    watcher = MapWatcher(server)
    program = Program(executable, server, sandbox, wrapper, extra_env=extra_env)
    try:
        status = program.wait()
    finally:
        program.kill()
        mapped = watcher.collect()
        watcher.close()
    stderr = program.stderr_lines()

    test.assertEqual(status, 1)
    test.assertEqual(len(stderr), 1, stderr)
    test.assertTrue(stderr[0].startswith(f"{kind}: {starts}"), stderr[0])
    test.assertIn(holds, stderr[0])
    test.assertTrue(stderr[0].endswith(ends), stderr[0])
    test.assertEqual(mapped, [], "a window was shown")
    log_dir = top / "log"
    if log_made:
        test.assertTrue(log_dir.is_dir())
        test.assertFalse((log_dir / ".write_test").exists())
    else:
        test.assertEqual(log_dir.read_text(encoding="utf-8"), "in the way\n")


def _generate_and_copy_all(server, form):
    server.keys(form.mnemonic("btnGenerate"))
    server.keys(form.mnemonic("btnCopyAll"))
    return wait_until("the passwords on the clipboard", server.clipboard_text)


def _expected_options(form):
    return {
        "length": CHANGED_LENGTH,
        "count": CHANGED_COUNT,
        "chk/digits": not form.checked("chkDigits"),
        "chk/lower": form.checked("chkLower"),
        "chk/upper": form.checked("chkUpper"),
        "chk/symbols": form.checked("chkSymbols"),
        "chk/exclude_ambiguous": not form.checked("chkExcludeAmbiguous"),
        "symbols": CHANGED_SYMBOLS,
    }


def _check_passwords(test, text, options, run):
    """The clipboard text must be what these options, and only these, can produce."""
    pools = {
        "chk/digits": set(string.digits),
        "chk/lower": set(string.ascii_lowercase),
        "chk/upper": set(string.ascii_uppercase),
        "chk/symbols": set(options["symbols"]),
    }
    allowed = set().union(*(pool for key, pool in pools.items() if options[key]))
    if options["chk/exclude_ambiguous"]:
        allowed -= AMBIGUOUS
    passwords = text.split("\n")
    test.assertEqual(len(passwords), options["count"], f"{run}: {text!r}")
    for password in passwords:
        test.assertEqual(len(password), options["length"], f"{run}: {password!r}")
        test.assertLessEqual(set(password), allowed, f"{run}: {password!r}")
        for key, pool in pools.items():
            if options[key]:
                test.assertTrue(set(password) & pool, f"{run}: {password!r} lacks {key}")


def _store_as_text(options):
    """The options as the INI store writes them."""
    return {key: (str(value).lower() if isinstance(value, bool) else str(value))
            for key, value in options.items()}


def settings_round_trip(test, server, form, executable, sandbox, read_store, wrapper=()):
    """Changes every kind of option by keyboard, closes, starts again and generates.

    The second run never touches an option: the passwords it makes prove which options
    it came up with. read_store gets the run's settings file (a path that only a store
    kept in files uses) and gives back every key's value as text.
    """
    options = _expected_options(form)
    test.assertNotEqual(form.number("spinLength"), CHANGED_LENGTH)
    test.assertNotEqual(form.number("spinCount"), CHANGED_COUNT)

    first = Program(executable, server, sandbox, wrapper)
    try:
        window = server.wait_for_window(first, form.title)
        server.focus(window)
        server.keys(form.mnemonic("spinLength"), "ctrl+a")
        server.type_text(str(CHANGED_LENGTH))
        server.keys(form.mnemonic("spinCount"), "ctrl+a")
        server.type_text(str(CHANGED_COUNT))
        server.keys(form.mnemonic("chkDigits"), form.mnemonic("chkExcludeAmbiguous"))
        server.keys(form.mnemonic("txtSymbols"), "ctrl+a")
        server.type_text(CHANGED_SYMBOLS)
        # The options really are in the widgets before the window closes.
        _check_passwords(test, _generate_and_copy_all(server, form), options, "first run")
        server.close_window(window)
        test.assertEqual(first.wait(), 0, f"stderr: {first.stderr_text()!r}")
    finally:
        first.kill()

    stored = read_store(first.settings_file)
    test.assertEqual({key: stored.get(key) for key in options}, _store_as_text(options))

    second = Program(executable, server, sandbox, wrapper)
    try:
        window = server.wait_for_window(second, form.title)
        server.focus(window)
        _check_passwords(test, _generate_and_copy_all(server, form), options, "second run")
        server.close_window(window)
        test.assertEqual(second.wait(timeout=WAIT_SECONDS), 0, f"stderr: {second.stderr_text()!r}")
    finally:
        second.kill()
    stored = read_store(second.settings_file)
    test.assertEqual({key: stored.get(key) for key in options}, _store_as_text(options))
