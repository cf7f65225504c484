' VBScript client of VornRegAccLib: every member of clsKey, clsKeys, clsValues
' and the clsValue records, called late-bound the way a script writer calls
' them, on scratch keys under HKCU\Software\VornRegistryTests\<unique>.
' Arguments go in variables, as scripts pass them, and each variable is
' checked afterwards. What the classes do in depth is tested in C++; this
' suite shows that a real script host gets on with them.
'
' Run: cscript //nologo registry_suite.vbs
' Every failed check prints "FAIL: ..."; the last line is always
' "<n> passed, <m> failed". Wine's VBScript ends silently on an unhandled
' run-time error, so every procedure runs under On Error Resume Next and each
' check first reports an error left pending. (It also lacks ChrW and
' WScript.Shell.RegDelete: scratch keys are made with RegWrite and reg.exe.)
Option Explicit

Const HKCU = &H80000001
Const REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4

Dim gPassed, gFailed, gShell, gBase
gPassed = 0
gFailed = 0

' ---- checks ------------------------------------------------------------------

Sub Fail(what)
  gFailed = gFailed + 1
  WScript.Echo "FAIL: " & what
End Sub

Sub Pending(what)
  If Err.Number <> 0 Then
    Fail "unexpected error " & Err.Number & " (" & Err.Description & ") before: " & what
    Err.Clear
  End If
End Sub

Sub Check(cond, what)
  Pending what
  If VarType(cond) = vbBoolean Then
    If cond Then gPassed = gPassed + 1 Else Fail what
  Else
    Fail what & ": not a Boolean"
  End If
End Sub

Function Show(x)
  If IsObject(x) Then
    Show = "object"
  ElseIf IsEmpty(x) Or IsNull(x) Then
    Show = TypeName(x)
  Else
    Show = TypeName(x) & " """ & Left(CStr(x), 40) & """"
  End If
End Function

' actual must equal expected in value and in variant type.
Sub Same(actual, expected, what)
  Dim ok
  Pending what
  ok = (VarType(actual) = VarType(expected))
  If ok And Not (IsEmpty(actual) Or IsNull(actual)) Then ok = (actual = expected)
  If ok Then
    gPassed = gPassed + 1
  Else
    Fail what & ": got " & Show(actual) & ", expected " & Show(expected)
  End If
End Sub

' The statement before raised this error (number 0: any error; an empty
' description is not compared).
Sub Raised(number, description, what)
  If Err.Number <> 0 And (number = 0 Or Err.Number = number) And _
     (description = "" Or Err.Description = description) Then
    gPassed = gPassed + 1
  Else
    Fail what & ": expected error " & number & " (" & description & "), got " & Err.Number & " (" & Err.Description & ")"
  End If
  Err.Clear
End Sub

' ---- the scratch area, through the platform's own tools ----------------------

Function Full(rel)
  Full = "HKCU\" & gBase
  If rel <> "" Then Full = Full & "\" & rel
End Function

Function RunReg(verb, rel, options)
  RunReg = gShell.Run("reg " & verb & " """ & Full(rel) & """ " & options, 0, True)
End Function

' A key with no values (reg add leaves an empty default value under Wine).
Sub MakeKey(rel)
  RunReg "add", rel, "/f"
  RunReg "delete", rel, "/ve /f"
End Sub

Sub PutValue(rel, name, data, typeName)
  gShell.RegWrite Full(rel) & "\" & name, data, typeName
End Sub

Function KeyPresent(rel)
  KeyPresent = (RunReg("query", rel, "") = 0)
End Function

' The value as the platform reads it, or "<missing>".
Function ReadValue(rel, name)
  Pending "reading value " & name
  On Error Resume Next
  ReadValue = "<missing>"
  ReadValue = gShell.RegRead(Full(rel) & "\" & name)
  Err.Clear
End Function

' A new object of the class, pointed at path below HKCU through variables;
' checks that both assignments left the variables as they were.
Function Make(className, path)
  Dim o, h, p
  On Error Resume Next
  h = HKCU
  p = path
  Set o = CreateObject("VornRegAccLib." & className)
  o.HKEY = h
  o.Path = p
  Same h, CLng(HKCU), className & ".HKEY leaves the variable alone"
  Same p, path, className & ".Path leaves the variable alone"
  Set Make = o
End Function

' What a script asks of either collection, with the name and index passed in
' variables: the default member by position and by name (in any case) agrees
' with Item; the existence test trims and ignores case; the conventional
' errors; For Each walks the items in order. col holds count items, one of
' them named name.
Sub CheckCollection(col, label, name, count)
  On Error Resume Next
  Dim x, i, n, found
  Same col.Count, CLng(count), label & ".Count"
  For i = 1 To count
    Set x = Nothing
    Set x = col(i)
    Check x Is col.Item(i) And x Is col(x.Name), label & "(" & i & "), .Item(" & i & ") and (its name) are one object"
  Next
  n = UCase(name)
  Same col(n).Name, name, label & "(name) ignores letter case"
  Same n, UCase(name), label & ": Item leaves the name variable alone"
  n = "  " & LCase(name) & " "
  If label = "vs" Then found = col.ValueExists(n) Else found = col.KeyExists(n)
  Same found, True, label & ": the existence test ignores case and surrounding spaces"
  Set x = col(n)
  Raised 5, "Invalid procedure call or argument", label & "(a name with spaces around it)"
  Same n, "  " & LCase(name) & " ", label & ": the existence test and a failed Item leave the variable alone"
  Set x = col(0)
  Raised 9, "Subscript out of range", label & "(0)"
  i = count + 1
  Set x = col.Item(i)
  Raised 9, "Subscript out of range", label & ".Item(Count + 1)"
  i = 0
  For Each x In col
    i = i + 1
    Check x Is col(i), "For Each over " & label & ": item " & i & " is " & label & "(" & i & ")"
  Next
  Check i = count, "For Each over " & label & " walks every item"
End Sub

' ---- creation ----------------------------------------------------------------

Sub TestCreation()
  On Error Resume Next
  Dim className, a, b
  For Each className In Array("clsKey", "clsKeys", "clsValues")
    Set a = Make(className, "Software")
    Set b = CreateObject("VornRegAccLib." & className)
    Check Not (a Is b), className & ": every creation gives a new object"
    Same b.HKEY, CLng(0), className & ": objects do not share state"
    If className <> "clsKey" Then Same b.Count, CLng(0), className & ": no root, no items, no error"
  Next
  Set a = Nothing
  Set a = CreateObject("VornRegAccLib.clsValue")
  Raised 429, "", "CreateObject of the record class clsValue"
  Check a Is Nothing, "no clsValue object was made"
End Sub

' ---- clsKey ------------------------------------------------------------------

Sub TestKey()
  On Error Resume Next
  Dim k, v, s, own
  MakeKey "key\alpha\child"
  PutValue "key\alpha", "greeting", "hi", "REG_SZ"

  Set k = CreateObject("VornRegAccLib.clsKey")
  Same k.Exists, False, "a new key does not exist"
  Same k.Values.HKEY & k.Values.Path, "0", "a new key's Values is unconfigured"
  Set k = Make("clsKey", "  \" & gBase & "\key\alpha\  ")
  Same k.HKEY, CLng(HKCU), "HKEY reads back as the Long handle"
  Same k.Path, gBase & "\key\alpha", "Path loses spaces and one backslash at each end"
  Same k.Name, "alpha", "Name is the last path component"
  Same k.Exists, True, "Exists for a present key"
  k.Name = "other"
  Raised 0, "", "Name cannot be assigned"

  ' Chained reads, the way scripts walk a key.
  Same k.Values("greeting").Value, "hi", "k.Values(name).Value"
  Same k.SubKeys(1).Name, "child", "k.SubKeys(1).Name"
  Same k.SubKeys.Item(1).Exists, True, "a sub-key item exists"

  ' Values and SubKeys are held until a refresh replaces them.
  Set v = k.Values
  Set s = k.SubKeys
  Check v Is k.Values And s Is k.SubKeys, "Values and SubKeys are the same objects on every read"
  Same v.Path & s.Path, gBase & "\key\alpha" & gBase & "\key\alpha", "the collections get the key's path"
  k.Refresh
  Check Not (k.Values Is v Or k.SubKeys Is s), "Refresh replaces Values and SubKeys"
  Set own = CreateObject("VornRegAccLib.clsValues")
  Set k.Values = own
  Check k.Values Is own, "Values can be set to a collection of the client's"
  Set own = CreateObject("VornRegAccLib.clsKeys")
  Set k.SubKeys = own
  Check k.SubKeys Is own, "SubKeys can be set to a collection of the client's"
  Set k.SubKeys = Nothing
  Check Not (k.SubKeys Is own), "after SubKeys is set to Nothing a new collection is made"

  Set k = Make("clsKey", gBase & "\key\late")
  Same k.Exists, False, "Exists for a missing key"
  MakeKey "key\late"
  k.Refresh
  Same k.Exists, True, "Refresh sees the key created meanwhile"
  k.HKEY = 12345
  Same k.HKEY & k.Exists, "12345False", "a handle that is no root is kept, and the key cannot be found"
End Sub

' ---- clsValues and clsValue --------------------------------------------------

Sub TestValues()
  On Error Resume Next
  Dim vs, r, row, obj
  MakeKey "vals"
  PutValue "vals", "", "dflt", "REG_SZ"
  PutValue "vals", "Text", "hello", "REG_SZ"
  PutValue "vals", "minus", -1, "REG_DWORD"
  PutValue "vals", "expand", "%PATH%", "REG_EXPAND_SZ"
  PutValue "vals", "bytes", 3, "REG_BINARY"

  Set vs = Make("clsValues", " " & gBase & "\vals\ ")
  Same vs.Path, gBase & "\vals\", "clsValues trims only spaces from its path"
  Same vs.HKEY, CLng(HKCU), "clsValues.HKEY"
  CheckCollection vs, "vs", "Text", 5
  For Each row In Array(Array("", "dflt", REG_SZ), Array("text", "hello", REG_SZ), _
                        Array("minus", CLng(-1), REG_DWORD), Array("expand", Empty, REG_EXPAND_SZ), _
                        Array("bytes", Empty, REG_BINARY))
    Same vs(row(0)).Value, row(1), "Value of " & Show(row(0))
    Same vs(row(0)).ValueType, CLng(row(2)), "ValueType of " & Show(row(0))
  Next

  ' Records: plain fields that change only the record held.
  Set r = vs("text")
  r.Name = "renamed"
  r.Value = 42
  r.ValueType = REG_BINARY
  Check vs("text") Is r, "a renamed record is still held under its old name"
  Same r.Name & r.Value & r.ValueType, "renamed423", "Name, Value and ValueType can be assigned"
  Set obj = CreateObject("VornRegAccLib.clsKey")
  Set r.Value = obj
  Check r.Value Is obj, "Value can hold an object reference"
  vs.Refresh
  Same vs("text").Value, "hello", "Refresh rebuilds the records from the registry"
  Same r.Name, "renamed", "a record held across a Refresh keeps its contents"
End Sub

Sub TestValuesWriting()
  On Error Resume Next
  Dim vs, n, v, t, ok
  MakeKey "write"
  Set vs = Make("clsValues", gBase & "\write")
  Same vs.Count, CLng(0), "a fresh key has no values"

  n = "number"
  v = "12"
  t = 4
  Same vs.Add(n, v, t), True, "Add ""12"" as REG_DWORD"
  Same v, CLng(12), "Add as REG_DWORD hands the Long 12 back in the variable"
  Same n & t, "number4", "Add leaves the name and type variables alone"
  Same ReadValue("write", "number"), CLng(12), "the registry holds the DWORD 12"
  Same vs("number").Value, CLng(12), "Add reloads the records"

  n = "text"
  v = "some text"
  t = REG_SZ
  Same vs.Add(n, v, t), True, "Add as REG_SZ"
  Same v, "some text", "Add as REG_SZ leaves the value variable alone"
  Same ReadValue("write", n), "some text", "the registry holds the text"

  v = "4294967296"
  t = REG_DWORD
  ok = vs.Add("too big", v, t)
  Raised 6, "Overflow", "Add of a number beyond 32 bits as REG_DWORD"
  Same v, "4294967296", "an overflowing Add leaves the variable alone"
  Same ReadValue("write", "too big"), "<missing>", "an overflowing Add writes nothing"
  v = -2147483648
  Same vs.Add("", v, t), True, "Add of -2^31 as REG_DWORD, with the empty name"
  Same ReadValue("write", ""), v, "-2^31 is stored in the default value"

  Same vs.Delete(n), True, "Delete of an existing value"
  Same n, "text", "Delete leaves the name variable alone"
  Same ReadValue("write", n), "<missing>", "the value is gone from the registry"
  Same vs.Count, CLng(2), "Delete reloads the records"
  Same vs.Delete(n), False, "Delete of a missing value returns False"
End Sub

' ---- clsKeys -----------------------------------------------------------------

Sub TestKeys()
  On Error Resume Next
  Dim ks, n
  MakeKey "tree\a"
  MakeKey "tree\B"
  MakeKey "tree\1"
  MakeKey "tree\c\c1"
  PutValue "tree\c\c1", "v", "x", "REG_SZ"

  Set ks = Make("clsKeys", "  \" & gBase & "\tree\  ")
  Same ks.Path, gBase & "\tree", "clsKeys normalises its path"
  Same ks.HKEY, CLng(HKCU), "clsKeys.HKEY"
  CheckCollection ks, "ks", "B", 4
  Same ks("c").Path, gBase & "\tree\c", "an item's Path is parent\name"
  Same ks("c").SubKeys(1).Values("v").Value, "x", "walking down by default members"
  Same ks.KeyExists("2"), False, "KeyExists of ""2"" is a name, never a position"

  n = "new\deeper"
  Same ks.Add(n), True, "Add of a new sub-key path"
  Same n, "new\deeper", "Add leaves the name variable alone"
  Same KeyPresent("tree\new\deeper"), True, "Add creates every key along the path"
  Same ks.Add(n), True, "Add of an existing sub-key succeeds"
  Same ks.KeyExists("new"), False, "the items follow Add only at Refresh"
  ks.Refresh
  Same ks.Count, CLng(5), "Refresh lists the new sub-key"

  n = "c"
  Same ks.Delete(n), True, "Delete of a sub-tree"
  Same n, "c", "Delete leaves the name variable alone"
  Same KeyPresent("tree\c"), False, "the sub-tree is gone"
  Same KeyPresent("tree\a"), True, "its siblings stay"
  Same ks.Count, CLng(5), "the items follow Delete only at Refresh"
  Same ks.Delete(n), False, "Delete of a missing key returns False"
End Sub

' ---- GetValue, SetValue and View (through IDispatch only) --------------------

' Every type written with SetValue and read back with GetValue, arguments in
' variables: what VBScript receives (TypeName; an array's UBound, items and
' their TypeName), and the record that SetValue's reload lists.
Sub TestValueData()
  On Error Resume Next
  Dim vs, k, row, n, v, t, got, i, items
  MakeKey "data"
  MakeKey "data\sub"
  Set vs = Make("clsValues", gBase & "\data")
  ' Name, value, type; then TypeName read, and the value read (for an array
  ' "UBound:item|item" and its items' TypeName).
  For Each row In Array(Array("sz", "text", REG_SZ, "String", "text", ""), _
                        Array("expand", "%PATH%", REG_EXPAND_SZ, "String", "%PATH%", ""), _
                        Array("multi", Array("a", "b c"), 7, "Variant()", "1:a|b c", "String"), _
                        Array("multi empty", Array(), 7, "Variant()", "-1:", ""), _
                        Array("dword -1", -1, REG_DWORD, "Long", "-1", ""), _
                        Array("dword max", 4294967295, REG_DWORD, "Long", "-1", ""), _
                        Array("qword max", "18446744073709551615", 11, "String", "18446744073709551615", ""), _
                        Array("qword currency", CCur("922337203685477"), 11, "String", "922337203685477", ""), _
                        Array("binary", Array(0, 127, 255), REG_BINARY, "Variant()", "2:0|127|255", "Byte"), _
                        Array("binary empty", Array(), REG_BINARY, "Variant()", "-1:", ""), _
                        Array("none", Array(1), 0, "Variant()", "0:1", "Byte"), _
                        Array("type 9", Array(9, 8), 9, "Variant()", "1:9|8", "Byte"))
    n = row(0)
    v = row(1)
    t = row(2)
    Same vs.SetValue(n, v, t), True, "SetValue of " & n
    Same n & "|" & TypeName(v) & "|" & t, row(0) & "|" & TypeName(row(1)) & "|" & row(2), _
         "SetValue leaves its variables alone"
    Same vs(n).ValueType, CLng(t), "the reloaded record of " & n
    got = Empty
    got = vs.getvalue(n)
    Same TypeName(got), row(3), "TypeName of GetValue(""" & n & """)"
    If IsArray(got) Then
      items = UBound(got) & ":"
      For i = 0 To UBound(got)
        If i > 0 Then items = items & "|"
        items = items & got(i)
        If TypeName(got(i)) <> row(5) Then Fail n & ": item " & i & " is a " & TypeName(got(i))
      Next
      Same LBound(got) & "/" & items, "0/" & row(4), "GetValue(""" & n & """): bounds and items"
    Else
      Same CStr(got), row(4), "GetValue(""" & n & """)"
    End If
  Next

  got = vs.GetValue("missing")
  Raised &H80070002, "", "GetValue of a missing value"
  Set k = Make("clsKey", gBase & "\data")
  Same k.View, CLng(0), "View is 0 at first"
  v = 64
  k.View = v
  Same k.View & k.Values.View & k.SubKeys.View & k.SubKeys(1).View, "64646464", "a key's view, carried by what it makes"
  Same v, 64, "View leaves the variable alone"
  k.View = 7
  Raised 5, "", "View = 7"
  Same k.View, CLng(64), "a refused View changes nothing"
End Sub

' ---- walks -------------------------------------------------------------------

' Without an error handler of its own: an error ends the walk and reaches
' the caller (a failed For Each under On Error Resume Next runs on into its
' body).
Sub WalkAll(col, n)
  Dim x
  n = 0
  For Each x In col
    n = n + 1
  Next
End Sub

' For Each walks what the collection held when the walk began; writes during
' the walk reach the registry and the collection, not the walk.
Sub TestWalks()
  On Error Resume Next
  Dim vs, ks, x, n, before, seen, ok, r
  MakeKey "walk\one"
  MakeKey "walk\two"
  PutValue "walk", "a", "1", "REG_SZ"
  PutValue "walk", "b", 2, "REG_DWORD"

  Set vs = Make("clsValues", gBase & "\walk")
  For n = 1 To vs.Count
    before = before & vs(n).Name & "|"
  Next
  For Each x In vs
    seen = seen & x.Name & "|"
    ok = vs.Add("new " & x.Name, 1, REG_DWORD) And vs.Delete(x.Name)
  Next
  Same seen, before, "For Each over values, which the walk replaces"
  Same vs.Count & ReadValue("walk", "a") & ReadValue("walk", "new b"), "2<missing>1", "the walk's writes were made"

  Set ks = Make("clsKeys", gBase & "\walk")
  before = ks(1).Name & "|" & ks(2).Name & "|"
  seen = ""
  For Each x In ks
    seen = seen & x.Name & "|"
    ok = ks.Delete(x.Name)
  Next
  Same seen, before, "For Each over sub-keys, which the walk deletes"
  Same KeyPresent("walk\one") Or KeyPresent("walk\two"), False, "the sub-keys are gone"

  WalkAll Make("clsKeys", gBase & "\walk\one"), n
  Same n, 0, "For Each over the sub-keys of a missing key"
  WalkAll Make("clsValues", gBase & "\walk\one"), n
  Same n, 0, "For Each over the values of a missing key"

  ' Two sub-keys that one name stands for ("x" and "x ", which the key
  ' object trims): loading fails, and so does the walk.
  MakeKey "dup\x"
  MakeKey "dup\x "
  WalkAll Make("clsKeys", gBase & "\dup"), n
  Raised 457, "This key is already associated with an element of this collection", "For Each over colliding sub-keys"

  ' A property without parameters, read with an argument, indexes the object
  ' it returns; with no object there, it is no collection (not a crash).
  Set r = vs(1)
  Set r.Value = Make("clsValues", gBase & "\walk")
  Same r.Value(1).Name, vs(1).Name, "v.Value(1) with a collection in Value is its first record"
  Set r.Value = Nothing
  x = r.Value(1)
  Raised 451, "Object not a collection", "v.Value(1) with Nothing in Value"
  x = r.Name(1)
  Raised 451, "Object not a collection", "v.Name(1), a String"
End Sub

' ---- run ---------------------------------------------------------------------

Sub Main()
  On Error Resume Next
  Randomize
  Set gShell = CreateObject("WScript.Shell")
  gBase = "Software\VornRegistryTests\vbs-" & CStr(Int(Timer * 100)) & "-" & CStr(Int(Rnd * 1000000))
  MakeKey ""
  Check KeyPresent(""), "scratch key " & gBase & " created"
  TestCreation
  TestKey
  TestValues
  TestValuesWriting
  TestKeys
  TestValueData
  TestWalks
  Pending "the end of the tests"
  RunReg "delete", "", "/f"
  Check Not KeyPresent(""), "scratch key removed"
End Sub

Main
WScript.Echo gPassed & " passed, " & gFailed & " failed"
