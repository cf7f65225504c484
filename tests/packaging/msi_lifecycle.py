#!/usr/bin/env python3
"""Installs, uses, upgrades and removes the Windows Installer packages under
Wine's msiexec, in a fresh prefix of its own (a per-machine install rewrites
the CLSIDs that the build's other tests use in theirs).

    msi_lifecycle.py x86 PREFIX WORK PACKAGE MODULE
        the 32-bit package in a win32 prefix: its registry rows against a
        regsvr32 registration of MODULE (the path aside), a script creates
        the classes, the uninstall leaves nothing.
    msi_lifecycle.py x64 PREFIX WORK PACKAGE OLDER REBUILD X86_PACKAGE
        the 64-bit package in a win64 prefix: a major upgrade from OLDER (a
        lower version), the 64-bit and the 32-bit cscript each create the
        classes from their own module; a downgrade, REBUILD (the same
        version, another product code) and the x86 package are refused; the
        uninstall leaves nothing in either view.

Every Wine call has a timeout and writes to a file. The last line is
"msi lifecycle: N passed, M failed".
"""
import os
import re
import subprocess
import sys

WINE64 = "/usr/lib/wine/wine64"
INSTALL_FAILURE = 1603 % 256  # ERROR_INSTALL_FAILURE, as a Unix exit status
NATIVE_DIR = "C:\\Program Files\\VornRegistry"  # the only module's, or the 64-bit one's
WOW64_DIR = "C:\\Program Files (x86)\\VornRegistry"
MODULE = "\\VornRegistry.dll"


NEW_PREFIX = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "new-prefix.sh")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Prefix:
    """A fresh Wine prefix and the programs run in it."""

    def __init__(self, path, arch, work):
        self.path, self.arch, self.work = path, arch, work
        self.env = dict(os.environ, WINEPREFIX=path, WINEARCH=arch, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.native = WINE64 if arch == "win64" else "wine"
        self.calls = 0
        os.makedirs(work, exist_ok=True)
        status, output = self.run(["sh", NEW_PREFIX, path, self.native], timeout=400)
        if status != 0:
            raise RuntimeError("cannot make the prefix " + path + ": " + output)

    def run(self, args, timeout=180):
        """Runs a program; returns its exit status and its output."""
        self.calls += 1
        out = os.path.join(self.work, f"call{self.calls:02}.out")
        with open(out, "wb") as sink:
            status = subprocess.call(["timeout", "-k", "10", str(timeout)] + args, env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=sink, stderr=subprocess.STDOUT)
        with open(out, "rb") as source:
            return status, source.read().decode("utf-8", "replace").replace("\r", "")

    def msiexec(self, action, package):
        return self.run([self.native, "msiexec", action, windows_path(package), "/qn"], timeout=300)[0]

    def export(self, key=None):
        """The registry below key (all of it by default) as {key: {name: data}}, lower-cased."""
        target = os.path.join(self.work, f"export{self.calls:02}.reg")
        self.run([self.native, "regedit", "/e", windows_path(target)] + ([key] if key else []))
        with open(target, "rb") as source:
            text = source.read().decode("utf-16")
        keys, current = {}, None
        for line in text.splitlines():
            if line.startswith("[") and line.endswith("]"):
                current = keys.setdefault(line[1:-1].lower(), {})
            elif current is not None and "=" in line:
                name, _, data = line.partition("=")
                current[name.lower()] = data
        return keys

    def host_path(self, windows):
        drive = os.path.join(self.path, "drive_c")
        return os.path.join(drive, *windows[3:].split("\\"))

    def stop(self):
        subprocess.call(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Checks:
    passed = failed = 0

    def check(self, ok, what, detail=""):
        self.passed, self.failed = self.passed + bool(ok), self.failed + (not ok)
        if not ok:
            print(f"FAILED: {what}" + (f"\n    {detail}" if detail else ""))

    def summary(self):
        print(f"msi lifecycle: {self.passed} passed, {self.failed} failed")
        return 0 if self.failed == 0 and self.passed > 0 else 1


CLASSES = "HKEY_LOCAL_MACHINE\\Software\\Classes"


def added(before, after):
    """What after has that before has not: new keys, and values new or changed."""
    result = {}
    for key, values in after.items():
        old = before.get(key)
        changed = {n: d for n, d in values.items() if old is None or old.get(n) != d}
        if old is None or changed:
            result[key] = changed
    return result


def product_code(package):
    out = subprocess.run(["msiinfo", "export", package, "Property"], capture_output=True, text=True,
                         check=True).stdout
    return re.search(r"^ProductCode\t\{([0-9A-F-]{36})\}", out, re.M).group(1)


def run_script(prefix, checks, loader, cscript, expected_module, host):
    status, out = prefix.run([loader, cscript, "//nologo", windows_path(SCRIPT)])
    checks.check(status == 0 and "classes created: " in out and f"module: {expected_module}\n" in out,
                 f"{host} creates the three classes from {expected_module}", out)


def uninstall_leaves_nothing(prefix, checks, package, installed_keys, folders):
    """Uninstalls; then neither a key that the install added nor a key or
    value naming the product or its code may be left, nor the folders."""
    checks.check(prefix.msiexec("/x", package) == 0, "uninstall succeeds")
    named = re.compile(f"vorn|{product_code(package).lower()}")
    left = []
    for key, values in prefix.export().items():
        if key in installed_keys or named.search(key):
            left.append(key)
        left += [f"{key}: {n}={d}" for n, d in values.items() if named.search(f"{n}={d}".lower())]
    checks.check(installed_keys and not left, "nothing of the product is left in the registry",
                 "\n    ".join(left[:20]))
    for folder in folders:
        checks.check(not os.path.exists(prefix.host_path(folder)), f"{folder} is removed")


def without_bookkeeping(keys):
    """The installer's own records under Classes\\Installer left aside."""
    return {k: v for k, v in keys.items() if not re.search(r"\\classes\\installer(\\|$)", k)}


def x86(prefix_dir, work, package, module):
    checks = Checks()
    prefix = Prefix(prefix_dir, "win32", work)
    try:
        base = prefix.export(CLASSES)
        # What the module's own registration writes, for comparison.
        prefix.run(["wine", "regsvr32", "/s", windows_path(module)])
        registered = added(base, prefix.export(CLASSES))
        prefix.run(["wine", "regsvr32", "/u", "/s", windows_path(module)])

        checks.check(prefix.msiexec("/i", package) == 0, "install succeeds")
        installed = added(base, prefix.export(CLASSES))
        ours = lambda keys, path: {k: {n: d.replace(path, "<module>") for n, d in v.items()}
                                   for k, v in without_bookkeeping(keys).items()}
        expected = ours(registered, windows_path(module).replace("\\", "\\\\"))
        actual = ours(installed, (NATIVE_DIR + MODULE).replace("\\", "\\\\"))
        differing = sorted(k for k in expected.keys() | actual.keys() if expected.get(k) != actual.get(k))
        checks.check(expected and not differing, "the package registers what regsvr32 registers",
                     "\n    ".join(f"{k}: regsvr32 {expected.get(k)}, package {actual.get(k)}" for k in differing[:10]))
        run_script(prefix, checks, "wine", "cscript", NATIVE_DIR + MODULE, "cscript")
        uninstall_leaves_nothing(prefix, checks, package, set(actual), [NATIVE_DIR])
    finally:
        prefix.stop()
    return checks.summary()


def x64(prefix_dir, work, package, older, rebuild, x86_package):
    checks = Checks()
    prefix = Prefix(prefix_dir, "win64", work)
    try:
        base = prefix.export(CLASSES)
        uninstall_key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{%s}"
        checks.check(prefix.msiexec("/i", older) == 0, "the older version installs")
        checks.check(prefix.msiexec("/i", package) == 0, "the upgrade succeeds")
        old_left = prefix.run([WINE64, "reg", "query", uninstall_key % product_code(older)])[0] == 0
        new_there = prefix.run([WINE64, "reg", "query", uninstall_key % product_code(package)])[0] == 0
        checks.check(new_there and not old_left, "the upgrade replaces the older product",
                     f"new registered: {new_there}, old registered: {old_left}")

        installed = set(without_bookkeeping(added(base, prefix.export(CLASSES))))
        run_script(prefix, checks, WINE64, "cscript", NATIVE_DIR + MODULE, "64-bit cscript")
        run_script(prefix, checks, "wine", "C:\\windows\\syswow64\\cscript.exe", WOW64_DIR + MODULE,
                   "32-bit cscript")

        checks.check(prefix.msiexec("/i", older) == INSTALL_FAILURE, "a downgrade is refused")
        checks.check(prefix.msiexec("/i", rebuild) == INSTALL_FAILURE, "a same-version rebuild is refused")
        checks.check(prefix.msiexec("/i", x86_package) == INSTALL_FAILURE, "the x86 package is refused here")
        run_script(prefix, checks, WINE64, "cscript", NATIVE_DIR + MODULE, "64-bit cscript after the refusals")
        uninstall_leaves_nothing(prefix, checks, package, installed, [NATIVE_DIR, WOW64_DIR])
    finally:
        prefix.stop()
    return checks.summary()


SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "classes.vbs")

if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "x86":
        sys.exit(x86(*sys.argv[2:]))
    if len(sys.argv) == 8 and sys.argv[1] == "x64":
        sys.exit(x64(*sys.argv[2:]))
    print(__doc__)
    sys.exit(2)
