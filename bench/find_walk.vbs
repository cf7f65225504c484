' The script half of the Find benchmark: clsKey.Find over a tree against the
' same search written in VBScript as users write it today, a walk of
' SubKeys and Values with GetValue and InStr (key names, value names, and
' the text of REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data, letter case
' ignored), in interleaved rounds in one process.
'   cscript //nologo find_walk.vbs PATH PATTERN ROUNDS   (PATH below HKLM)
' Prints "sample find-script-HKLM\PATH LABEL MICROSECONDS" lines, the hits
' of both as "figure" lines, then "done". Timer counts in steps of about
' 8 ms here: the searches take far longer.
Option Explicit
Dim path, pattern, rounds, r, group, hits
path = WScript.Arguments(0)
pattern = WScript.Arguments(1)
rounds = CLng(WScript.Arguments(2))
group = "find-script-HKLM\" & path

Function Elapsed(started)
  Elapsed = Timer - started
  If Elapsed < 0 Then Elapsed = Elapsed + 86400
  Elapsed = Elapsed * 1000000
End Function

Function Found(text)
  Found = InStr(1, text, pattern, vbTextCompare) > 0
End Function

' The hits below key and in it, as Find counts them.
Function Walk(key)
  Dim n, v, data, s, child
  n = 0
  For Each v In key.Values
    If Found(v.Name) Then
      n = n + 1
    ElseIf v.ValueType = 1 Then
      If Found(v.Value) Then n = n + 1
    ElseIf v.ValueType = 2 Or v.ValueType = 7 Then
      data = key.Values.GetValue(v.Name)
      If IsArray(data) Then
        For Each s In data
          If Found(s) Then n = n + 1: Exit For
        Next
      ElseIf Found(data) Then
        n = n + 1
      End If
    End If
  Next
  For Each child In key.SubKeys
    If Found(child.Name) Then n = n + 1
    n = n + Walk(child)
  Next
  Walk = n
End Function

Function Key()
  Set Key = CreateObject("VornRegAccLib.clsKey")
  Key.HKEY = &H80000002
  Key.Path = path
End Function

Sub Search(withFind)
  Dim started, k, n
  started = Timer
  Set k = Key()
  If withFind Then n = UBound(k.Find(pattern)) + 1 Else n = Walk(k)
  If r > 0 Then
    If withFind Then WScript.Echo "sample " & group & " clsKey.Find " & Elapsed(started) _
    Else WScript.Echo "sample " & group & " VBScript-walk " & Elapsed(started)
  End If
  hits = n
End Sub

For r = 0 To rounds  ' round 0 warms the registry's caches; Find's sample comes first
  If r Mod 2 = 1 Then
    Search True: Search False
  Else
    Search False: Search True
  End If
Next
WScript.Echo "figure " & group & "-walk-hits " & hits
r = 0
Search True
WScript.Echo "figure " & group & "-find-hits " & hits
WScript.Echo "target " & group & " VBScript-walk 0.1"
WScript.Echo "done"
