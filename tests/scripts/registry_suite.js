// JScript client suite for VornRegAccLib: the classes as a JScript writer
// meets them (arguments by value, exceptions instead of Err, numbers as
// doubles), and text that the 8-bit registry interface cannot carry, which
// only JScript can produce here (Wine's VBScript has no ChrW).
//
// Run: cscript //nologo registry_suite.js
// Every failed check prints a line starting with "FAIL:". The last line is
// always "<n> passed, <m> failed".

var HKCU = 0x80000001 | 0;   // JScript's 0x80000001 is 2147483649: make it the Long
var HKLM = 0x80000002 | 0;
var REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4;

var passed = 0, failed = 0;
var shell = new ActiveXObject("WScript.Shell");
var base = "Software\\VornRegistryTests\\js-" + new Date().getTime() + "-" +
           Math.floor(Math.random() * 1000000);

function fail(what) {
  failed++;
  WScript.Echo("FAIL: " + what);
}

function show(x) {
  if (typeof x == "string") return '"' + (x.length > 40 ? x.substr(0, 40) + "...(" + x.length + " chars)" : x) + '"';
  return typeof x + " " + x;
}

function check(cond, what) {
  if (cond === true) passed++;
  else fail(what);
}

function same(actual, expected, what) {
  if (typeof actual == typeof expected && actual === expected) passed++;
  else fail(what + ": got " + show(actual) + ", expected " + show(expected));
}

// f must throw the automation error with this number (the low word of the
// HRESULT, as VBScript shows it) and, when given, this description. (Under
// Wine a JScript call statement whose result is dropped asks for a method
// only, which no property answers: the functions return what they read.)
function throws(f, number, description, what) {
  try {
    f();
  } catch (e) {
    var n = e.number & 0xFFFF;
    if ((number === undefined || n == number) &&
        (description === undefined || e.description == description)) {
      passed++;
    } else {
      fail(what + ": got error " + n + " (" + e.description + "), expected " + number +
           " (" + description + ")");
    }
    return;
  }
  fail(what + ": no error was raised");
}

// Runs one group; an exception that escapes it is a failure, not the end.
function group(name, f) {
  try {
    f();
  } catch (e) {
    fail(name + ": unexpected error " + (e.number & 0xFFFF) + " (" + e.description + ")");
  }
}

// ---- the scratch area, through the platform's own tools ----------------------

function full(rel) { return "HKCU\\" + base + (rel ? "\\" + rel : ""); }
function reg(args) { return shell.Run("reg " + args, 0, true); }
function makeKey(rel) {
  reg('add "' + full(rel) + '" /f');
  reg('delete "' + full(rel) + '" /ve /f');   // reg add leaves an empty default under Wine
}
function putValue(rel, name, data, type) { shell.RegWrite(full(rel) + "\\" + name, data, type); }
function keyPresent(rel) { return reg('query "' + full(rel) + '"') == 0; }
function readValue(rel, name) {
  try { return shell.RegRead(full(rel) + "\\" + name); } catch (e) { return "<missing>"; }
}

function newKey(root, path) {
  var k = new ActiveXObject("VornRegAccLib.clsKey");
  k.HKEY = root;
  k.Path = path;
  return k;
}
function newValues(rel) {
  var vs = new ActiveXObject("VornRegAccLib.clsValues");
  vs.HKEY = HKCU;
  vs.Path = base + "\\" + rel;
  return vs;
}
function newKeys(rel) {
  var ks = new ActiveXObject("VornRegAccLib.clsKeys");
  ks.HKEY = HKCU;
  ks.Path = base + "\\" + rel;
  return ks;
}
function namesOf(col) {
  var names = [];
  for (var i = 1; i <= col.Count; i++) names.push(col.Item(i).Name);
  return names;
}
function sameSet(names, expected, what) {
  var a = names.slice(0).sort(), b = expected.slice(0).sort();
  same(a.join("|"), b.join("|"), what);
}

// ---- groups ------------------------------------------------------------------

group("creation", function () {
  var ids = ["VornRegAccLib.clsKey", "VornRegAccLib.clsKeys", "VornRegAccLib.clsValues"];
  for (var i = 0; i < ids.length; i++) {
    var a = new ActiveXObject(ids[i]), b = new ActiveXObject(ids[i]);
    a.HKEY = HKCU;
    same(b.HKEY, 0, ids[i] + ": a second object is independent of the first");
  }
  throws(function () { new ActiveXObject("VornRegAccLib.clsValue"); }, undefined, undefined,
         "the record class clsValue cannot be created");
});

group("root handles", function () {
  var k = newKey(HKCU, "Software");
  same(k.HKEY, -2147483647, "HKCU reads back as a number");
  same(k.Exists, true, "HKCU\\Software exists");
  same(newKey(HKLM, "Software").Exists, true, "HKLM\\Software exists");
  // A JScript literal 0x80000001 is the double 2147483649, outside the
  // 32-bit range: it must be refused or taken as the same handle, never
  // turned into some other handle.
  var refused = false;
  k = new ActiveXObject("VornRegAccLib.clsKey");
  try { k.HKEY = 0x80000001; } catch (e) { refused = true; }
  check(refused || k.HKEY == HKCU, "the unsigned form of HKCU is refused or means HKCU (got " + k.HKEY + ")");
});

group("key object", function () {
  makeKey("key\\alpha");
  putValue("key\\alpha", "greeting", "hi", "REG_SZ");
  makeKey("key\\alpha\\child");
  var k = new ActiveXObject("VornRegAccLib.clsKey");
  same(k.HKEY, 0, "new key: HKEY");
  same(k.Path, "", "new key: Path");
  same(k.Exists, false, "new key: Exists");
  same(k.Name, "", "new key: Name");
  var vs = k.Values;
  check(vs === k.Values, "Values of a new key is one object");
  same(vs.HKEY, 0, "Values of a new key is unconfigured");

  var path = " \\" + base + "\\key\\alpha\\ ";
  k.HKEY = HKCU;
  k.Path = path;
  same(k.Path, base + "\\key\\alpha", "Path is normalised");
  same(k.Name, "alpha", "Name");
  same(k.Exists, true, "Exists");
  same(k.Values.Item("greeting").Value, "hi", "k.Values.Item(name).Value");
  same(k.SubKeys.Item(1).Name, "child", "k.SubKeys.Item(1).Name");
  same(k.SubKeys.Count, 1, "k.SubKeys.Count");
  var before = k.SubKeys;
  k.Refresh();
  check(before !== k.SubKeys, "Refresh makes new collections");

  throws(function () { k.Name = "x"; }, undefined, undefined, "Name cannot be assigned");
  throws(function () { k.DeleteTree(); }, undefined, undefined, "DeleteTree is not published");

  var ownKeys = new ActiveXObject("VornRegAccLib.clsKeys");
  var ownValues = new ActiveXObject("VornRegAccLib.clsValues");
  k.SubKeys = ownKeys;   // JScript assigns objects with a property put
  k.Values = ownValues;
  check(k.SubKeys === ownKeys, "SubKeys holds the collection assigned to it");
  check(k.Values === ownValues, "Values holds the collection assigned to it");
});

group("values", function () {
  makeKey("vals");
  putValue("vals", "text", "hello", "REG_SZ");
  putValue("vals", "blank", "", "REG_SZ");
  putValue("vals", "minus", -1, "REG_DWORD");
  putValue("vals", "expand", "%PATH%", "REG_EXPAND_SZ");
  putValue("vals", "bytes", 3, "REG_BINARY");
  putValue("vals", "", "dflt", "REG_SZ");
  putValue("vals", "long", new Array(2502).join("j"), "REG_SZ");

  var vs = newValues("vals");
  same(vs.Count, 7, "Count");
  sameSet(namesOf(vs), ["text", "blank", "minus", "expand", "bytes", "", "long"], "record names");
  same(vs.Item("TEXT").Value, "hello", "Item by name, any case");
  same(vs.Item("blank").Value, "", "empty REG_SZ");
  same(vs.Item("minus").Value, -1, "REG_DWORD 0xFFFFFFFF is -1");
  same(vs.Item("minus").ValueType, REG_DWORD, "REG_DWORD type");
  same(typeof vs.Item("expand").Value, "undefined", "REG_EXPAND_SZ: no data");
  same(vs.Item("expand").ValueType, REG_EXPAND_SZ, "REG_EXPAND_SZ type");
  same(typeof vs.Item("bytes").Value, "undefined", "REG_BINARY: no data");
  same(vs.Item("").Value, "dflt", "default value under the empty name");
  same(vs.Item("long").Value.length, 2501, "2501 bytes of text read whole");
  same(vs.ValueExists(" Text "), true, "ValueExists trims and ignores case");
  same(vs.ValueExists("7"), false, "ValueExists of a digit is a name");

  // The default member, called the JScript way.
  same(vs(1).Name, vs.Item(1).Name, "vs(1) is vs.Item(1)");
  same(vs("text").Value, "hello", "vs(name)");

  throws(function () { return vs.Item(0); }, 9, "Subscript out of range", "Item(0)");
  throws(function () { return vs.Item(8); }, 9, "Subscript out of range", "Item(Count + 1)");
  throws(function () { return vs.Item("nope"); }, 5, "Invalid procedure call or argument", "Item of a missing name");
  throws(function () { return vs.Item(" text"); }, 5, undefined, "Item does not trim");
  throws(function () { new Enumerator(vs); }, undefined, undefined, "no enumerator on clsValues");

  var r = vs.Item("text");
  r.Name = "other";
  check(vs.Item("text") === r, "a renamed record is still held under its old name");
  r.Value = 5;
  same(vs.Item("text").Value, 5, "Value let on a record");
  r.ValueType = REG_BINARY;
  same(r.ValueType, REG_BINARY, "ValueType let on a record");
  vs.Refresh();
  same(vs.Item("text").Value, "hello", "Refresh rebuilds from the registry");
});

group("writing values", function () {
  makeKey("write");
  var vs = newValues("write");
  var value = "12";
  same(vs.Add("n", value, REG_DWORD), true, "Add \"12\" as REG_DWORD");
  same(value, "12", "a JScript variable is passed by value and stays as it was");
  same(readValue("write", "n"), 12, "DWORD 12 stored");
  same(vs.Item("n").Value, 12, "record of the new DWORD");
  same(vs.Add("s", "text", REG_SZ), true, "Add REG_SZ");
  same(readValue("write", "s"), "text", "text stored");
  same(vs.Add("b", "abc", REG_BINARY), true, "Add with type REG_BINARY");
  same(vs.Item("b").ValueType, REG_SZ, "written as REG_SZ");
  same(vs.Add("d", 3.0, REG_DWORD), true, "a JScript number as REG_DWORD");
  same(vs.Item("d").Value, 3, "read back");
  same(vs.Add("", "dv", REG_SZ), true, "Add to the default value");
  same(readValue("write", ""), "dv", "default value stored");

  throws(function () { vs.Add("big", 4294967296, REG_DWORD); }, 6, "Overflow", "REG_DWORD beyond 32 bits");
  same(readValue("write", "big"), "<missing>", "the overflowing value is not written");
  throws(function () { vs.Add("big", "-2147483649", REG_DWORD); }, 6, "Overflow", "REG_DWORD below -2^31");
  same(vs.Add("nan", "twelve", REG_DWORD), false, "text that is no number as REG_DWORD");
  same(readValue("write", "nan"), "<missing>", "is not written");
  throws(function () { vs.Add("nul", null, REG_SZ); }, undefined, undefined, "null as REG_SZ");
  same(readValue("write", "nul"), "<missing>", "is not written");

  var count = vs.Count;
  same(vs.Delete("s"), true, "Delete");
  same(readValue("write", "s"), "<missing>", "deleted from the registry");
  same(vs.Count, count - 1, "Delete reloads");
  same(vs.Delete("s"), false, "Delete of a missing value");
  var missing = newValues("write\\absent");
  same(missing.Add("x", "y", REG_SZ), false, "Add on a missing key");
  same(missing.Delete("x"), false, "Delete on a missing key");
  same(keyPresent("write\\absent"), false, "no key created");
});

group("sub-keys", function () {
  makeKey("tree\\a\\a1");
  makeKey("tree\\b");
  makeKey("tree\\c\\c1\\c2");
  var ks = newKeys("tree");
  same(ks.Count, 3, "Count");
  sameSet(namesOf(ks), ["a", "b", "c"], "sub-key names");
  same(ks(1).Name, ks.Item(1).Name, "ks(1) is ks.Item(1)");
  same(ks("C").Path, base + "\\tree\\c", "Item by name gives the child's path");
  same(ks.Item("c").SubKeys.Item(1).SubKeys.Item(1).Name, "c2", "walking down by Item");
  same(ks.KeyExists(" B "), true, "KeyExists trims and ignores case");
  same(ks.KeyExists("2"), false, "KeyExists of a digit is a name");
  throws(function () { return ks.Item(4); }, 9, "Subscript out of range", "Item(Count + 1)");
  throws(function () { return ks.Item("zz"); }, 5, "Invalid procedure call or argument", "Item of a missing name");
  throws(function () { new Enumerator(ks); }, undefined, undefined, "no enumerator on clsKeys");

  same(ks.Add("d\\d1"), true, "Add with a backslash");
  same(keyPresent("tree\\d\\d1"), true, "creates the path");
  same(ks.Count, 3, "the items do not follow Add");
  ks.Refresh();
  same(ks.Count, 4, "until Refresh");
  same(ks.Delete("c"), true, "Delete of a sub-tree");
  same(keyPresent("tree\\c"), false, "the sub-tree is gone");
  same(keyPresent("tree\\a\\a1"), true, "siblings stay");
  same(ks.Delete("c"), false, "Delete of a missing key");
  var names = ["", " ", "\\", "\\\\"];
  for (var i = 0; i < names.length; i++) {
    same(ks.Delete(names[i]), false, "Delete of " + show(names[i]) + " returns false");
  }
  same(keyPresent("tree\\a\\a1") && keyPresent("tree\\b"), true, "and deletes nothing");
});

// Text outside the system code page must never reach the registry in a
// best-fit form: U+0101 would become "a", U+6F22 "?", and a call with such a
// name would act on another key or value.
group("text the code page cannot carry", function () {
  var a = String.fromCharCode(0x101), han = String.fromCharCode(0x6F22);
  makeKey("cp\\a");
  makeKey("cp\\x\\inner");
  putValue("cp", "a", "plain a", "REG_SZ");
  putValue("cp", "?", "question mark", "REG_SZ");

  var k = newKey(HKCU, base + "\\cp\\" + a);
  same(k.Exists, false, "a key path with U+0101 does not find the key \"a\"");

  var vs = newValues("cp");
  same(vs.ValueExists(a), false, "ValueExists(U+0101) does not find the value \"a\"");
  same(vs.ValueExists(han), false, "ValueExists(U+6F22) does not find the value \"?\"");
  throws(function () { return vs.Item(a); }, 5, undefined, "Item(U+0101) does not find the value \"a\"");
  same(vs.Add(a, "new", REG_SZ), false, "Add with a name of U+0101 is refused");
  same(readValue("cp", "a"), "plain a", "the value \"a\" is not overwritten");
  same(vs.Add("han", "x" + han, REG_SZ), false, "Add of data with U+6F22 is refused");
  same(readValue("cp", "han"), "<missing>", "nothing is written for it");
  same(vs.Add("e", "caf" + String.fromCharCode(0xE9), REG_SZ), true,
       "text that the code page carries is written");
  same(vs.Item("e").Value, "caf" + String.fromCharCode(0xE9), "and reads back the same");
  same(vs.Delete(a), false, "Delete(U+0101) is refused");
  same(readValue("cp", "a"), "plain a", "the value \"a\" is not deleted");
  same(vs.Delete(han), false, "Delete(U+6F22) is refused");
  same(readValue("cp", "?"), "question mark", "the value \"?\" is not deleted");

  var ks = newKeys("cp");
  same(ks.KeyExists(a), false, "KeyExists(U+0101) does not find the key \"a\"");
  same(ks.Add(a + "b"), false, "Add of a key named with U+0101 is refused");
  same(keyPresent("cp\\ab"), false, "no key \"ab\" is created");
  same(ks.Delete(a), false, "Delete(U+0101) is refused");
  same(keyPresent("cp\\a"), true, "the key \"a\" is not deleted");
  same(ks.Delete("x\\" + han), false, "Delete of a deeper path with U+6F22 is refused");
  same(keyPresent("cp\\x\\inner"), true, "nothing below \"x\" is deleted");
});

group("cleanup", function () {
  reg('delete "' + full("") + '" /f');
  same(keyPresent(""), false, "scratch key removed");
});

WScript.Echo(passed + " passed, " + failed + " failed");
