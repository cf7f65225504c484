// JScript client of VornRegAccLib: every class as a JScript writer meets it
// (arguments by value, exceptions instead of Err, numbers as doubles), and
// text beyond the code page, which only JScript can produce here (Wine's
// VBScript has no ChrW). Run: cscript //nologo
// registry_suite.js. A failed check prints "FAIL: ..."; the last line is
// always "<n> passed, <m> failed".

var HKCU = 0x80000001 | 0;   // the handle as the component reads it back: a signed 32-bit number
var REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4;
var passed = 0, failed = 0;
var shell = new ActiveXObject("WScript.Shell");
var base = "Software\\VornRegistryTests\\js-" + new Date().getTime() + "-" + Math.floor(Math.random() * 1e6);

function fail(what) { failed++; WScript.Echo("FAIL: " + what); }
function check(cond, what) { if (cond === true) passed++; else fail(what); }
function show(x) { return typeof x == "string" ? '"' + x.substr(0, 40) + '"' : typeof x + " " + x; }
function same(actual, expected, what) {
  if (actual === expected) passed++;
  else fail(what + ": got " + show(actual) + ", expected " + show(expected));
}

// f must throw; given a number, the automation error with that number (the
// HRESULT's low word, as VBScript shows it) and description. (Under Wine a
// call statement whose result is dropped asks for a method, which no property
// answers: the functions passed return what they read.)
function throws(f, number, description, what) {
  try { f(); } catch (e) {
    var n = e.number & 0xFFFF;
    if (number === undefined || (n == number && e.description == description)) passed++;
    else fail(what + ": got error " + n + " (" + e.description + "), expected " + number + " (" + description + ")");
    return;
  }
  fail(what + ": no error was raised");
}

// Runs one group; an exception that escapes it is a failure, not the end.
function group(name, f) {
  try { f(); } catch (e) { fail(name + ": unexpected error " + (e.number & 0xFFFF) + " (" + e.description + ")"); }
}

// ---- the scratch area, through the platform's own tools ----------------------

function full(rel) { return "HKCU\\" + base + (rel ? "\\" + rel : ""); }
function reg(verb, rel, options) { return shell.Run("reg " + verb + ' "' + full(rel) + '" ' + options, 0, true); }
function makeKey(rel) { reg("add", rel, "/f"); reg("delete", rel, "/ve /f"); }  // without Wine's empty default
function putValue(rel, name, data, type) { shell.RegWrite(full(rel) + "\\" + name, data, type); }
function keyPresent(rel) { return reg("query", rel, "") == 0; }
function readValue(rel, name) { try { return shell.RegRead(full(rel) + "\\" + name); } catch (e) { return "<missing>"; } }
function make(className, path) {
  var o = new ActiveXObject("VornRegAccLib." + className);
  o.HKEY = HKCU, o.Path = path;
  return o;
}

// ---- groups ------------------------------------------------------------------

group("creation and root handles", function () {
  var classes = ["clsKey", "clsKeys", "clsValues"];
  for (var i = 0; i < classes.length; i++) {
    var a = make(classes[i], "Software"), b = new ActiveXObject("VornRegAccLib." + classes[i]);
    same(b.HKEY, 0, classes[i] + ": a second object is independent of the first");
  }
  throws(function () { new ActiveXObject("VornRegAccLib.clsValue"); }, undefined, undefined, "clsValue cannot be created");
  // JScript reads the literal 0x80000001 as 2147483649: it names HKCU, by
  // value and from a variable, on all three classes; beyond 32 bits overflows.
  var k = new ActiveXObject("VornRegAccLib.clsKey"), hex = 0x80000001;
  k.HKEY = 0x80000001;
  k.Path = "Software";
  same(k.HKEY + "|" + k.Exists, HKCU + "|true", "clsKey.HKEY = 0x80000001 is HKEY_CURRENT_USER");
  var ks = new ActiveXObject("VornRegAccLib.clsKeys"), vs = new ActiveXObject("VornRegAccLib.clsValues");
  ks.HKEY = hex, vs.HKEY = hex;
  same(ks.HKEY + vs.HKEY + hex, 2 * HKCU + 0x80000001, "clsKeys and clsValues too; the variable keeps its number");
  throws(function () { k.HKEY = 0x100000000; }, 6, "Overflow", "HKEY = 2^32");
  throws(function () { k.HKEY = -0x80000001; }, 6, "Overflow", "HKEY = -2^31 - 1");
});

group("key object", function () {
  makeKey("key\\alpha\\child");
  putValue("key\\alpha", "greeting", "hi", "REG_SZ");
  var k = make("clsKey", " \\" + base + "\\key\\alpha\\ ");
  same(k.HKEY, HKCU, "HKEY reads back as a number");
  same(k.Path + "|" + k.Name + "|" + k.Exists, base + "\\key\\alpha|alpha|true", "Path normalised, Name, Exists");
  same(k.Values.Item("greeting").Value, "hi", "k.Values.Item(name).Value");
  same(k.SubKeys.Item(1).Name, "child", "k.SubKeys.Item(1).Name");
  var before = k.SubKeys;
  k.Refresh();
  check(before !== k.SubKeys, "Refresh makes new collections");
  throws(function () { k.Name = "x"; }, undefined, undefined, "Name cannot be assigned");
  throws(function () { k.DeleteTree(); }, undefined, undefined, "DeleteTree is not published");
  var ownKeys = new ActiveXObject("VornRegAccLib.clsKeys"), ownValues = new ActiveXObject("VornRegAccLib.clsValues");
  k.SubKeys = ownKeys, k.Values = ownValues;   // JScript assigns objects with a property put
  check(k.SubKeys === ownKeys && k.Values === ownValues, "SubKeys and Values hold the collections assigned");
});

group("values", function () {
  makeKey("vals");
  putValue("vals", "text", "hello", "REG_SZ");
  putValue("vals", "minus", -1, "REG_DWORD");
  putValue("vals", "expand", "%PATH%", "REG_EXPAND_SZ");
  var vs = make("clsValues", " " + base + "\\vals ");
  same(vs.Path + vs.HKEY, base + "\\vals" + HKCU, "Path and HKEY");
  same(vs.Count, 3, "Count");
  same(vs.Item("TEXT").Value, "hello", "Item by name, any case");
  same(vs.Item("minus").Value, -1, "REG_DWORD 0xFFFFFFFF is -1");
  same(typeof vs.Item("expand").Value + vs.Item("expand").ValueType, "undefined" + REG_EXPAND_SZ,
       "REG_EXPAND_SZ: type, no data");
  same(vs.ValueExists(" Text "), true, "ValueExists trims and ignores case");
  same(vs(1).Name, vs.Item(1).Name, "vs(1) is vs.Item(1)");
  same(vs("text").Value, "hello", "vs(name)");
  throws(function () { return vs.Item(0); }, 9, "Subscript out of range", "Item(0)");
  throws(function () { return vs.Item("nope"); }, 5, "Invalid procedure call or argument", "Item of a missing name");

  var r = vs.Item("text");
  r.Name = "other", r.Value = 5, r.ValueType = REG_BINARY;
  check(vs.Item("text") === r && r.Name + r.Value + r.ValueType === "other53", "a record's fields can be assigned");
  vs.Refresh();
  same(vs.Item("text").Value, "hello", "Refresh rebuilds from the registry");
});

group("writing values", function () {
  makeKey("write");
  var vs = make("clsValues", base + "\\write");
  var value = "12";
  same(vs.Add("n", value, REG_DWORD), true, "Add \"12\" as REG_DWORD");
  same(value, "12", "a JScript variable is passed by value and stays as it was");
  same(readValue("write", "n"), 12, "DWORD 12 stored");
  same(vs.Add("d", 3.0, REG_DWORD) && vs.Item("d").Value, 3, "a JScript number as REG_DWORD, read back");
  same(vs.Add("s", "text", REG_SZ), true, "Add as REG_SZ");
  throws(function () { vs.Add("big", 4294967296, REG_DWORD); }, 6, "Overflow", "REG_DWORD beyond 32 bits");
  same(readValue("write", "big"), "<missing>", "the overflowing value is not written");
  same(vs.Delete("s"), true, "Delete");
  same(vs.Count + readValue("write", "s"), "2<missing>", "deleted from the registry, and reloaded");
});

group("sub-keys", function () {
  var names = ["a\\a1", "b", "c\\c1"];
  for (var i = 0; i < names.length; i++) makeKey("tree\\" + names[i]);
  var ks = make("clsKeys", "\\" + base + "\\tree\\");
  same(ks.Path + ks.HKEY, base + "\\tree" + HKCU, "Path and HKEY");
  same(ks.Count, 3, "Count");
  same(ks(1).Name, ks.Item(1).Name, "ks(1) is ks.Item(1)");
  same(ks("C").Path, base + "\\tree\\c", "Item by name gives the child's path");
  same(ks.KeyExists(" B "), true, "KeyExists trims and ignores case");
  throws(function () { return ks.Item(4); }, 9, "Subscript out of range", "Item(Count + 1)");
  throws(function () { return ks.Item("zz"); }, 5, "Invalid procedure call or argument", "Item of a missing name");
  same(ks.Add("d\\d1"), true, "Add with a backslash");
  ks.Refresh();
  same(ks.Count, 4, "Refresh lists the added key");
  same(ks.Delete("c"), true, "Delete of a sub-tree");
  same(keyPresent("tree\\c") || !keyPresent("tree\\a\\a1"), false, "the sub-tree is gone, its siblings stay");
});

// GetValue and SetValue, through IDispatch only: what JScript receives
// (typeof; for an array, a VBArray's bounds and its items' typeof), with
// JScript arrays, numbers and text beyond the code page given, and refusals
// that leave the value as it was. (Wine 8's JScript fails typeof of an
// automation array with 0x80004001, where Windows says "unknown": arrays go
// straight to VBArray.)
group("GetValue and SetValue", function () {
  makeKey("data");
  var vs = make("clsValues", base + "\\data");
  var wide = String.fromCharCode(0x101, 0x6F22, 0xD83D, 0xDE00);
  // Name, value, type; then typeof read ("array" for a VBArray), the value
  // read (for an array "lbound..ubound:item|item") and its items' typeof.
  var rows = [["wide", wide, REG_SZ, "string", wide],
              ["multi", [wide, "b"], 7, "array", "0..1:" + wide + "|b", "string"],
              ["multi empty", [], 7, "array", "0..-1:"], ["dword max", 4294967295, REG_DWORD, "number", -1],
              ["qword number", 9007199254740992, 11, "string", "9007199254740992"],
              ["binary", [0, 127, 255], REG_BINARY, "array", "0..2:0|127|255", "number"],
              ["type 12", [12], 12, "array", "0..0:12", "number"]];
  for (var i = 0; i < rows.length; i++) {
    var r = rows[i];
    same(vs.SetValue(r[0], r[1], r[2]), true, "SetValue of " + r[0]);
    var got = vs.getvalue(r[0]);
    if (r[3] != "array") {
      same(typeof got + " " + got, r[3] + " " + r[4], "GetValue(\"" + r[0] + "\")");
      continue;
    }
    var array = new VBArray(got), items = array.toArray();
    same(array.lbound() + ".." + array.ubound() + ":" + items.join("|"), r[4], "GetValue(\"" + r[0] + "\")");
    for (var j = 0; j < items.length; j++) same(typeof items[j], r[5], r[0] + ": the type of item " + j);
  }
  same(vs.SetValue("kept", 7, REG_DWORD), true, "SetValue of kept");
  var refused = [[18446744073709551615, 11, 6], [null, REG_SZ, 94]];  // 2^64 as a number, and JScript's null
  for (var i = 0; i < refused.length; i++) {
    var r = refused[i];
    try { vs.SetValue("kept", r[0], r[1]); fail("SetValue of " + show(r[0]) + " was not refused"); } catch (e) {
      same((e.number & 0xFFFF) + (e.description ? " described" : ""), r[2] + " described", "SetValue of " + show(r[0]));
    }
    same(vs.GetValue("kept") + "|" + vs.Item("kept").ValueType, "7|4", "a refused SetValue leaves the value as it was");
  }
  throws(function () { return vs.GetValue(); }, undefined, undefined, "GetValue without its argument");
  vs.View = 64;
  same(vs.View, 64, "View");
  throws(function () { vs.View = 1; }, 5,
         "View must be 0 (the module's own registry view), 32 (the 32-bit view) or 64 (the 64-bit view)", "View = 1");
});

// Text beyond the code page names exactly what it spells: U+0101 is not "a"
// and U+6F22 is not "?", as names, in paths and as data; a surrogate pair
// stays whole.
group("text beyond the code page", function () {
  var a = String.fromCharCode(0x101), han = String.fromCharCode(0x6F22);
  var pair = String.fromCharCode(0xD83D, 0xDE00), text = "x" + han + pair + a;
  makeKey("cp\\a");
  makeKey("cp\\?");
  putValue("cp", "a", "plain a", "REG_SZ");
  putValue("cp", "?", "question mark", "REG_SZ");
  var e = "caf" + String.fromCharCode(0xE9), creme = "cr" + String.fromCharCode(0xE8) + "me";
  putValue("cp", e, creme, "REG_SZ");   // text the code page carries, written by another program
  function untouched(what) {
    same(readValue("cp", "a") + "|" + readValue("cp", "?") + "|" + keyPresent("cp\\a") + keyPresent("cp\\?"),
         "plain a|question mark|truetrue", what + ": the value and key \"a\" and \"?\" are untouched");
  }

  var vs = make("clsValues", base + "\\cp");
  same(vs.ValueExists(a) || vs.ValueExists(han), false, "ValueExists finds neither \"a\" nor \"?\"");
  same(vs.Item(e).Value, creme, "code-page text reads back as written");
  same(vs.Add(a, text, REG_SZ) && vs.Add(han, 7, REG_DWORD) && vs.Add(pair, pair, REG_SZ), true, "Add under such names");
  same(readValue("cp", a), text, "the data stored is the text given");
  same(vs.Count + "|" + vs.Item(a).Name + "|" + vs.Item(a).Value + "|" + vs.Item(han).Value + "|" + vs.Item(pair).Value,
       "6|" + a + "|" + text + "|7|" + pair, "listed under their own names, with their own data");
  untouched("after Add");
  same(vs.Delete(a) && vs.Delete(han) && vs.Delete(pair), true, "Delete of each");
  same(vs.Count, 3, "only the values written before remain");
  untouched("after Delete");

  var ks = make("clsKeys", base + "\\cp");
  same(ks.Add(a + "\\" + pair) && ks.Add(han), true, "Add of keys named with them");
  same(make("clsKey", base + "\\cp\\" + a + "\\" + pair).Exists, true, "a path through them exists");
  same(ks.Count + "|" + ks.Item(a).Name + "|" + ks.Item(a).SubKeys.Item(1).Name + "|" + ks.KeyExists(han),
       "4|" + a + "|" + pair + "|true", "listed under their own names");
  same(ks.Delete(a) && ks.Delete(han), true, "Delete of the trees");
  same(make("clsKey", base + "\\cp\\" + a).Exists || make("clsKey", base + "\\cp\\" + han).Exists, false, "gone");
  untouched("after the keys");
});

// Each name is at most 255 characters; the whole path may be far longer.
group("a path over 260 characters", function () {
  var c = new Array(101).join("c"), rel = "long\\" + c + "\\" + c + "\\" + c, path = base + "\\" + rel;
  var ks = make("clsKeys", base);
  same(ks.Add(rel), true, "Add of a key " + path.length + " characters deep");
  var k = make("clsKey", path);
  same(k.Exists && k.Values.Add("v", "deep", REG_SZ) && k.Values.Item("v").Value, "deep", "it exists and holds a value");
  same(ks.Delete("long") + "|" + keyPresent("long"), "true|false", "its tree is deleted");
});

// An Enumerator walks what the collection held when it was made; writes
// during the walk reach the registry and the collection, not the walk.
group("enumerators", function () {
  makeKey("walk\\one");
  makeKey("walk\\two");
  putValue("walk", "a", "1", "REG_SZ");
  putValue("walk", "b", 2, "REG_DWORD");
  function walk(col, each) {
    var seen = "";
    for (var e = new Enumerator(col); !e.atEnd(); e.moveNext()) {
      seen += e.item().Name + "|";
      if (each) each(e.item());
    }
    return seen;
  }
  var vs = make("clsValues", base + "\\walk"), ks = make("clsKeys", base + "\\walk");
  var values = vs.Item(1).Name + "|" + vs.Item(2).Name + "|", keys = ks.Item(1).Name + "|" + ks.Item(2).Name + "|";
  same(walk(vs, function (x) { vs.Add("new " + x.Name, 1, REG_DWORD); vs.Delete(x.Name); }), values,
       "an Enumerator over values, which the walk replaces");
  same(vs.Count + "|" + readValue("walk", "a") + "|" + readValue("walk", "new b"), "2|<missing>|1", "the walk's writes");
  var e = new Enumerator(ks);
  check(e.item() === ks.Item(1), "an Enumerator's items are the collection's own objects");
  same(walk(ks, function (x) { ks.Delete(x.Name); }), keys, "an Enumerator over sub-keys, which the walk deletes");
  same(keyPresent("walk\\one") || keyPresent("walk\\two"), false, "the sub-keys are gone");
  same(walk(make("clsKeys", base + "\\walk\\one")) + walk(make("clsValues", base + "\\walk\\one")), "",
       "Enumerators over a missing key");
  makeKey("dup\\x");
  makeKey("dup\\x ");
  throws(function () { new Enumerator(make("clsKeys", base + "\\dup")); }, undefined, undefined,
         "an Enumerator over colliding sub-keys");
  throws(function () { new Enumerator(make("clsKey", base)); }, undefined, undefined, "a key object has no Enumerator");
});

group("cleanup", function () { reg("delete", "", "/f"); same(keyPresent(""), false, "scratch key removed"); });

WScript.Echo(passed + " passed, " + failed + " failed");
