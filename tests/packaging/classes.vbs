' Creates the three classes by ProgID and prints, read through the component
' itself, the module path registered for clsKey in this process's registry
' view: a 64-bit host and a 32-bit host each see their own module.
Const HKEY_CLASSES_ROOT = &H80000000

Function DefaultOf(values)
  DefaultOf = ""
  For i = 1 To values.Count
    If values(i).Name = "" Then DefaultOf = values(i).Value
  Next
End Function

Set k = CreateObject("VornRegAccLib.clsKey")
Set ks = CreateObject("VornRegAccLib.clsKeys")
Set vs = CreateObject("VornRegAccLib.clsValues")
k.HKEY = HKEY_CLASSES_ROOT
k.Path = "VornRegAccLib.clsKey\CLSID"
clsid = DefaultOf(k.Values)
k.Path = "CLSID\" & clsid & "\InprocServer32"
WScript.Echo "module: " & DefaultOf(k.Values)
WScript.Echo "classes created: " & TypeName(k) & " " & TypeName(ks) & " " & TypeName(vs)
