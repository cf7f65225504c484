' The VBScript half of the values walk: the component's Count and every
' Item(i).Value, against WScript.Shell RegRead of the same names and a
' Scripting.Dictionary walk of the same N, in interleaved rounds.
'   cscript //nologo values_walk.vbs PATH N ROUNDS     (PATH below HKCU)
' Prints "sample vbscript-walk-N LABEL MICROSECONDS" lines, then "done".
' Timer counts seconds in steps of about 8 ms here: use walks that take
' much longer than that.
Option Explicit
Dim path, n, rounds, r, group, d, i
path = WScript.Arguments(0)
n = CLng(WScript.Arguments(1))
rounds = CLng(WScript.Arguments(2))
group = "vbscript-walk-" & n

Function Elapsed(started)
  Elapsed = Timer - started
  If Elapsed < 0 Then Elapsed = Elapsed + 86400
  Elapsed = Elapsed * 1000000
End Function

Sub Library()
  Dim vs, x, count, started
  started = Timer
  Set vs = CreateObject("VornRegAccLib.clsValues")
  vs.HKEY = &H80000001
  vs.Path = path
  count = vs.Count
  For i = 1 To count
    x = vs(i).Value
  Next
  If r > 0 Then WScript.Echo "sample " & group & " library " & Elapsed(started)
End Sub

Sub ShellRead()
  Dim sh, x, prefix, started
  started = Timer
  Set sh = CreateObject("WScript.Shell")
  prefix = "HKCU\" & path & "\v"
  For i = 0 To n - 1
    x = sh.RegRead(prefix & i)
  Next
  If r > 0 Then WScript.Echo "sample " & group & " RegRead " & Elapsed(started)
End Sub

Sub DictionaryWalk()
  Dim x, started
  started = Timer
  For i = 0 To n - 1
    x = d("v" & i)
  Next
  If r > 0 Then WScript.Echo "sample " & group & " Dictionary " & Elapsed(started)
End Sub

' Keyed by the value names: Wine's Dictionary crashed with a few hundred
' integer keys.
Set d = CreateObject("Scripting.Dictionary")
For i = 0 To n - 1
  If i Mod 2 = 0 Then d.Add "v" & i, "text value " & i Else d.Add "v" & i, i
Next
' Round 0 loads the module and warms the registry; it is not shown.
For r = 0 To rounds
  Library
  ShellRead
  DictionaryWalk
Next
WScript.Echo "done"
