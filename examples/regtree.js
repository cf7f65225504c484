// regtree.js - the JScript twin of regtree.vbs: prints a registry key and
// everything below it exactly as "reg query <key> /s" does, through the
// VornRegAccLib component. Its output is byte for byte that of regtree.vbs.
//
//   cscript //nologo regtree.js ROOT [PATH] [/reg:32 | /reg:64]
//
// ROOT: HKCU, HKLM, HKCR, HKU, HKCC or the full HKEY_... name. /reg:32 and
// /reg:64 choose the registry view as they do for reg.exe; without them the
// script sees its host's view. The data column of each type is described in
// regtree.vbs. REG_SZ and REG_DWORD data come with the value records; the
// other types are read one value at a time with the collection's GetValue,
// whose byte arrays a script reads through VBArray.

var roots = {
  HKCR: [0x80000000, "HKEY_CLASSES_ROOT"], HKCU: [0x80000001, "HKEY_CURRENT_USER"],
  HKLM: [0x80000002, "HKEY_LOCAL_MACHINE"], HKU: [0x80000003, "HKEY_USERS"],
  HKCC: [0x80000005, "HKEY_CURRENT_CONFIG"]
};
// The type names reg.exe knows; it prints "(null)" for any other code.
var typeNames = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
                 5: "REG_DWORD_BIG_ENDIAN", 7: "REG_MULTI_SZ", 11: "REG_QWORD"};

function upToZero(text) {
  var at = text.indexOf("\0");
  return at < 0 ? text : text.substring(0, at);
}

function hex2(b) {
  return (b < 16 ? "0" : "") + b.toString(16);
}

function bytesText(bytes) {
  for (var i = 0, text = ""; i < bytes.length; i++) text += hex2(bytes[i]);
  return text.toUpperCase();
}

// 0x and hex of the first `size` bytes read as a little-endian number;
// missing bytes count as zero.
function littleEndianText(bytes, size) {
  var text = "";
  for (var i = size - 1; i >= 0; i--) if (i < bytes.length) text += hex2(bytes[i]);
  return "0x" + (text.replace(/^0+/, "") || "0");
}

// Hex of a whole number given as decimal text of any length (a REG_QWORD's
// data comes as text, and a JScript number holds only 53 bits). Long
// division by 16.
function decimalToHex(digits) {
  var text = "";
  do {
    var quotient = "", remainder = 0;
    for (var i = 0; i < digits.length; i++) {
      var d = remainder * 10 + (digits.charCodeAt(i) - 48);
      if (quotient !== "" || d >= 16) quotient += Math.floor(d / 16);
      remainder = d % 16;
    }
    text = remainder.toString(16) + text;
    digits = quotient;
  } while (digits !== "");
  return text;
}

// A safe array from GetValue as a JScript array.
function items(array) {
  return new VBArray(array).toArray();
}

function dataText(values, record) {
  var data;
  switch (record.ValueType) {
    case 1:
      data = record.Value;
      return data === undefined || data === null ? "" : upToZero(String(data));
    case 4:
      // Data longer than four bytes has no number in the record: reg.exe
      // shows its first four bytes.
      data = record.Value;
      if (data === undefined || data === null) return littleEndianText(items(values.GetValue(record.Name)), 4);
      return "0x" + (data >>> 0).toString(16);
    case 2:
      return upToZero(values.GetValue(record.Name));
    case 7:
      return items(values.GetValue(record.Name)).join("\\0");
    case 0:
    case 3:
      return bytesText(items(values.GetValue(record.Name)));
    case 5:
      return littleEndianText(items(values.GetValue(record.Name)), 4);
    case 11:
      // Eight bytes come as decimal text, other sizes as bytes. typeof says
      // "unknown" for an array, and Wine's JScript raises 0x80004001 instead.
      data = values.GetValue(record.Name);
      try {
        if (typeof data === "string") return "0x" + decimalToHex(data);
      } catch (e) {
      }
      return littleEndianText(items(data), 8);
  }
  return "(null)";
}

// An Enumerator walks the collection as it loaded when the Enumerator was
// made. Count loads it first, so that an error of the load arrives with its
// number and description (Wine's JScript reports any failed Enumerator as
// error 87, without a description).
function walk(collection) {
  collection.Count;
  return new Enumerator(collection);
}

// Lists a key and, below it, its sub-keys. reg.exe leaves out the heading of
// the key it was asked for (top) when that key has no values.
function printKey(key, shown, top) {
  var values = key.Values;
  if (!top || values.Count > 0) {
    WScript.Echo("");
    WScript.Echo(shown);
  }
  for (var e = walk(values); !e.atEnd(); e.moveNext()) {
    var record = e.item(), code = record.ValueType;
    WScript.Echo("    " + (record.Name === "" ? "(Default)" : record.Name) + "    " +
                 (typeNames[code] || "(null)") + "    " + dataText(values, record));
  }
  for (e = walk(key.SubKeys); !e.atEnd(); e.moveNext()) {
    var child = e.item();
    printKey(child, shown + "\\" + child.Name, false);
  }
}

function main(args) {
  var usage = "usage: cscript //nologo regtree.js ROOT [PATH] [/reg:32 | /reg:64]   (ROOT: HKCU, HKLM, HKCR, HKU, HKCC)";
  // The view option may stand anywhere; the other words are ROOT and PATH.
  var words = [], view = 0;
  for (var i = 0; i < args.length; i++) {
    var arg = String(args(i)), option = arg.toLowerCase();
    if (option === "/reg:32" || option === "/reg:64") view = Number(option.substring(5));
    else if (arg.charAt(0) !== "/") words.push(arg);
    else { words = []; break; }  // any other option: the usage text
  }
  if (words.length < 1 || words.length > 2) {
    WScript.Echo(usage);
    return 2;
  }
  var name = words[0].toUpperCase().replace(/^HKEY_(CLASSES_ROOT|CURRENT_USER|LOCAL_MACHINE|USERS|CURRENT_CONFIG)$/,
      function (all, rest) { return {CLASSES_ROOT: "HKCR", CURRENT_USER: "HKCU", LOCAL_MACHINE: "HKLM",
                                     USERS: "HKU", CURRENT_CONFIG: "HKCC"}[rest]; });
  var root = roots[name];
  if (!root) {
    WScript.Echo("ERROR: unknown root key " + words[0]);
    return 2;
  }
  try {
    var key = new ActiveXObject("VornRegAccLib.clsKey");
    // The view first: the key opens in it once HKEY and Path are set.
    if (view) key.View = view;
    key.HKEY = root[0];
    key.Path = words.length > 1 ? words[1] : "";
    var shown = key.Path === "" ? root[1] : root[1] + "\\" + key.Path;
    if (!key.Exists) {
      WScript.Echo("ERROR: the key " + shown + " does not exist");
      return 1;
    }
    printKey(key, shown, true);
    WScript.Echo("");
  } catch (e) {
    WScript.Echo("ERROR: " + e.description + " (" + (e.number & 0xFFFF) + ")");
    return 1;
  }
  return 0;
}

WScript.Quit(main(WScript.Arguments));
