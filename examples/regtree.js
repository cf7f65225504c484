// regtree.js - the JScript twin of regtree.vbs: prints a registry key and
// everything below it, laid out like "reg query <key> /s", through the
// VornRegAccLib component.
//
//   cscript //nologo regtree.js ROOT [PATH]      (ROOT: HKCU, HKLM, HKCR, HKU, HKCC)

var roots = {
  HKCR: [0x80000000, "HKEY_CLASSES_ROOT"], HKCU: [0x80000001, "HKEY_CURRENT_USER"],
  HKLM: [0x80000002, "HKEY_LOCAL_MACHINE"], HKU: [0x80000003, "HKEY_USERS"],
  HKCC: [0x80000005, "HKEY_CURRENT_CONFIG"]
};
var typeNames = ["REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
                 "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
                 "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"];

function dataText(record) {
  var data = record.Value;
  if (data === undefined || data === null) return "";
  if (record.ValueType == 4) return "0x" + (data >>> 0).toString(16);
  return String(data);
}

// An Enumerator walks the collection as it loaded when the Enumerator was
// made. Count loads it first, so that an error of the load arrives with its
// number and description (Wine's JScript reports any failed Enumerator as
// error 87, without a description).
function items(collection) {
  collection.Count;
  return new Enumerator(collection);
}

function printKey(key, shown) {
  WScript.Echo("");
  WScript.Echo(shown);
  for (var e = items(key.Values); !e.atEnd(); e.moveNext()) {
    var record = e.item(), code = record.ValueType;
    WScript.Echo("    " + (record.Name === "" ? "(Default)" : record.Name) + "    " +
                 (typeNames[code] || "REG_TYPE_" + code) + "    " + dataText(record));
  }
  for (e = items(key.SubKeys); !e.atEnd(); e.moveNext()) {
    var child = e.item();
    printKey(child, shown + "\\" + child.Name);
  }
}

function main(args) {
  if (args.length < 1 || args.length > 2) {
    WScript.Echo("usage: cscript //nologo regtree.js ROOT [PATH]   (ROOT: HKCU, HKLM, HKCR, HKU, HKCC)");
    return 2;
  }
  var name = String(args(0)).toUpperCase().replace(/^HKEY_(CLASSES_ROOT|CURRENT_USER|LOCAL_MACHINE|USERS|CURRENT_CONFIG)$/,
      function (all, rest) { return {CLASSES_ROOT: "HKCR", CURRENT_USER: "HKCU", LOCAL_MACHINE: "HKLM",
                                     USERS: "HKU", CURRENT_CONFIG: "HKCC"}[rest]; });
  var root = roots[name];
  if (!root) {
    WScript.Echo("ERROR: unknown root key " + args(0));
    return 2;
  }
  try {
    var key = new ActiveXObject("VornRegAccLib.clsKey");
    key.HKEY = root[0];
    key.Path = args.length > 1 ? args(1) : "";
    var shown = key.Path === "" ? root[1] : root[1] + "\\" + key.Path;
    if (!key.Exists) {
      WScript.Echo("ERROR: the key " + shown + " does not exist");
      return 1;
    }
    printKey(key, shown);
    WScript.Echo("");
  } catch (e) {
    WScript.Echo("ERROR: " + e.description + " (" + (e.number & 0xFFFF) + ")");
    return 1;
  }
  return 0;
}

WScript.Quit(main(WScript.Arguments));
