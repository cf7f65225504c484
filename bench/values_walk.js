// The JScript half of the values walk: the component's Count and every
// Item(i).Value, against WScript.Shell RegRead of the same names and a
// Scripting.Dictionary walk of the same N, in interleaved rounds.
//   cscript //nologo values_walk.js PATH N ROUNDS     (PATH below HKCU)
// Prints "sample jscript-walk-N LABEL MICROSECONDS" lines, then "done".
var args = WScript.Arguments;
var path = args(0), n = parseInt(args(1), 10), rounds = parseInt(args(2), 10);
var group = "jscript-walk-" + n;
var shell = new ActiveXObject("WScript.Shell");

var shown = false;  // round 0 loads the module and warms the registry
function timed(label, walk) {
  var started = new Date().getTime();
  walk();
  if (shown) WScript.Echo("sample " + group + " " + label + " " + (new Date().getTime() - started) * 1000);
}

function library() {
  var vs = new ActiveXObject("VornRegAccLib.clsValues"), x;
  vs.HKEY = 0x80000001;
  vs.Path = path;
  for (var i = 1, count = vs.Count; i <= count; i++) x = vs.Item(i).Value;
}

function shellRead() {
  var prefix = "HKCU\\" + path + "\\v", x;
  for (var i = 0; i < n; i++) x = shell.RegRead(prefix + i);
}

// Keyed by the value names: Wine's Dictionary crashed with a few hundred
// integer keys.
var d = new ActiveXObject("Scripting.Dictionary");
for (var i = 0; i < n; i++) d.Add("v" + i, i % 2 ? i : "text value " + i);
function dictionaryWalk() {
  var x;
  for (var i = 0; i < n; i++) x = d.Item("v" + i);
}

for (var r = 0; r <= rounds; r++, shown = true) {
  timed("library", library);
  timed("RegRead", shellRead);
  timed("Dictionary", dictionaryWalk);
}
WScript.Echo("done");
