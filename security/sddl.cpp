// SDDL text: the parts it holds, found at the top level of the text, and
// checked against what the platform's converter made of it.
#include "security/sddl.h"

#include <sddl.h>

#include <cwctype>
#include <vector>

#include "automation/errors.h"
#include "security/acl_edit.h"
#include "security/failure.h"

namespace vorn::security {

namespace {

// One part of the text: its letter and what follows "X:" up to the next
// part.
struct Part {
  wchar_t letter;
  std::wstring_view body;
};

struct Split {
  std::wstring_view before;  // the text before the first part
  std::vector<Part> parts;
};

bool IsPartLetter(wchar_t c) noexcept { return c == L'O' || c == L'G' || c == L'D' || c == L'S'; }

std::wstring_view Trimmed(std::wstring_view text) {
  while (!text.empty() && std::iswspace(text.front())) text.remove_prefix(1);
  while (!text.empty() && std::iswspace(text.back())) text.remove_suffix(1);
  return text;
}

// The end of the entry that opens at text[at] ('('): just past its closing
// parenthesis, stepping over nested ones and quoted strings (conditions of
// callback entries hold both); npos when it does not close.
size_t EntryEnd(std::wstring_view text, size_t at) {
  int depth = 0;
  bool quoted = false;
  for (size_t i = at; i < text.size(); ++i) {
    if (quoted) {
      quoted = text[i] != L'"';
    } else if (text[i] == L'"') {
      quoted = true;
    } else if (text[i] == L'(') {
      ++depth;
    } else if (text[i] == L')' && --depth == 0) {
      return i + 1;
    }
  }
  return std::wstring_view::npos;
}

// The parts: a letter O, G, D or S followed by ':' outside any entry starts
// one (SDDL is case-sensitive; the converter refuses other letters).
Split SplitParts(std::wstring_view text) {
  Split split;
  size_t start = std::wstring_view::npos;
  wchar_t letter = 0;
  auto close = [&](size_t end) {
    if (start == std::wstring_view::npos) split.before = text.substr(0, end);
    else split.parts.push_back({letter, text.substr(start, end - start)});
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'(') {
      size_t end = EntryEnd(text, i);
      if (end == std::wstring_view::npos) break;
      i = end - 1;
    } else if (IsPartLetter(text[i]) && i + 1 < text.size() && text[i + 1] == L':') {
      close(i);
      letter = text[i];
      start = i + 2;
      ++i;
    }
  }
  close(text.size());
  return split;
}

// A list part's flags (before its first entry) and entries.
struct ListPart {
  std::wstring_view flags;
  std::vector<std::wstring_view> entries;
  std::wstring_view rest;  // text that is neither, from where it begins
};

ListPart ReadList(std::wstring_view body) {
  ListPart list;
  size_t at = body.find(L'(');
  list.flags = body.substr(0, at == std::wstring_view::npos ? body.size() : at);
  while (at < body.size()) {
    while (at < body.size() && std::iswspace(body[at])) ++at;
    if (at == body.size()) break;
    size_t end = body[at] == L'(' ? EntryEnd(body, at) : std::wstring_view::npos;
    if (end == std::wstring_view::npos) {
      list.rest = body.substr(at);
      break;
    }
    list.entries.push_back(body.substr(at, end - at));
    at = end;
  }
  return list;
}

// Whether flags are made of the list flags SDDL has; null_list says whether
// NO_ACCESS_CONTROL is among them.
bool KnownFlags(std::wstring_view flags, bool& null_list) {
  flags = Trimmed(flags);
  while (!flags.empty()) {
    bool found = false;
    for (std::wstring_view flag : {L"NO_ACCESS_CONTROL", L"AI", L"AR", L"P"}) {
      if (flags.substr(0, flag.size()) != flag) continue;
      null_list = null_list || flag.size() > 2;
      flags.remove_prefix(flag.size());
      found = true;
      break;
    }
    if (!found) return false;
    flags = Trimmed(flags);
  }
  return true;
}

unique_local Convert(const std::wstring& text, DWORD& status) {
  unique_local descriptor;
  status = ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
               text.c_str(), SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr)
               ? ERROR_SUCCESS
               : ::GetLastError();
  if (status == ERROR_SUCCESS && !descriptor) status = ERROR_INVALID_SECURITY_DESCR;
  return descriptor;
}

bool Converts(const std::wstring& text) {
  DWORD status = ERROR_SUCCESS;
  return Convert(text, status).valid();
}

// What in a text the converter refused: the first part that it refuses
// alone, and within a list its flags or the first entry refused.
std::wstring Culprit(std::wstring_view text) {
  for (const Part& part : SplitParts(text).parts) {
    const std::wstring heading = std::wstring(1, part.letter) + L":";
    if (Converts(heading + std::wstring(part.body))) continue;
    if (part.letter == L'D' || part.letter == L'S') {
      const ListPart list = ReadList(part.body);
      const std::wstring flags = heading + std::wstring(list.flags);
      if (!Converts(flags)) return L"the flags \"" + flags + L"\" are refused";
      for (std::wstring_view entry : list.entries)
        if (!Converts(flags + std::wstring(entry))) return L"the entry \"" + std::wstring(entry) + L"\" is refused";
    }
    return L"the part \"" + heading + std::wstring(part.body) + L"\" is refused";
  }
  return L"it is refused";
}

[[noreturn]] void Refuse(std::wstring_view text, const std::wstring& what) {
  throw Error(errors::kInvalidProcedureCall, L"the text \"" + std::wstring(text) + L"\" " + what);
}

const wchar_t* ListName(wchar_t letter) { return letter == L'D' ? L"DACL" : L"SACL"; }

}  // namespace

SECURITY_INFORMATION PartsFromLetters(std::wstring_view letters) {
  SECURITY_INFORMATION parts = 0;
  for (wchar_t c : letters) {
    switch (std::towupper(c)) {
      case L'O': parts |= OWNER_SECURITY_INFORMATION; break;
      case L'G': parts |= GROUP_SECURITY_INFORMATION; break;
      case L'D': parts |= DACL_SECURITY_INFORMATION; break;
      case L'S': parts |= SACL_SECURITY_INFORMATION; break;
      default:
        throw Error(errors::kInvalidProcedureCall, L"Parts \"" + std::wstring(letters) + L"\" holds \"" +
                                                       std::wstring(1, c) +
                                                       L"\": write the letters O (owner), G (group), D (DACL) "
                                                       L"and S (SACL)");
    }
  }
  if (!parts)
    throw Error(errors::kInvalidProcedureCall,
                L"Parts names no part: write the letters O (owner), G (group), D (DACL) and S (SACL)");
  return parts;
}

std::wstring SddlText(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION info) {
  unique_local text;
  ULONG length = 0;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, info,
                                                              reinterpret_cast<LPWSTR*>(text.put()), &length))
    Fail(::GetLastError(), L"its security descriptor cannot be written as SDDL");
  const wchar_t* units = static_cast<const wchar_t*>(text.get());
  return units ? std::wstring(units) : std::wstring();
}

SddlDescriptor::SddlDescriptor(std::wstring_view text) {
  if (Trimmed(text).empty())
    Refuse(text, L"holds no part: write O:, G:, D: or S: with what the part is to be");
  // The converter stops at a zero character, while the checks below read on:
  // what follows it would pass them unread.
  if (text.find(L'\0') != std::wstring_view::npos) Refuse(text, L"holds a zero character");
  DWORD status = ERROR_SUCCESS;
  descriptor_ = Convert(std::wstring(text), status);
  if (!descriptor_) Fail(status, L"the text \"" + std::wstring(text) + L"\" is not valid SDDL: " + Culprit(text));

  const Split split = SplitParts(text);
  if (!Trimmed(split.before).empty())
    Refuse(text, L"begins with \"" + std::wstring(split.before) + L"\", which is no part");
  for (const Part& part : split.parts) {
    const std::wstring heading = std::wstring(1, part.letter) + L":";
    SECURITY_INFORMATION bit = part.letter == L'O'   ? OWNER_SECURITY_INFORMATION
                               : part.letter == L'G' ? GROUP_SECURITY_INFORMATION
                               : part.letter == L'D' ? DACL_SECURITY_INFORMATION
                                                     : SACL_SECURITY_INFORMATION;
    if (parts_ & bit) Refuse(text, L"gives the part " + heading + L" twice");
    parts_ |= bit;
    if (part.letter == L'O' || part.letter == L'G') {
      // The converter reads an account's SID or alias and ignores what
      // follows it.
      // Wine's converter reads an empty part as the null SID S-1-0-0, an owner
      // that locks everyone out, and takes SIDs with more than 15
      // sub-authorities, which nothing can read back.
      unique_local sid;
      if (Trimmed(part.body).empty()) Refuse(text, L"gives " + heading + L" no account");
      if (!::ConvertStringSidToSidW(std::wstring(Trimmed(part.body)).c_str(), reinterpret_cast<PSID*>(sid.put())) ||
          !::IsValidSid(sid.get()))
        Refuse(text, L"gives " + heading + std::wstring(part.body) +
                         L", which is not one SID or account alias: the converter would read only its start");
      continue;
    }
    const ListPart list = ReadList(part.body);
    bool null_list = false;
    if (!KnownFlags(list.flags, null_list))
      Refuse(text, L"gives the flags \"" + std::wstring(list.flags) + L"\" to " + heading +
                       L"; they are P, AI, AR and NO_ACCESS_CONTROL");
    if (null_list && part.letter == L'D')
      Refuse(text, L"asks for a null DACL (NO_ACCESS_CONTROL), which lets everyone do everything; write "
                   L"D:(A;;KA;;;WD) if that is really meant");
    if (!list.rest.empty())
      Refuse(text, L"holds \"" + std::wstring(list.rest) + L"\" among the entries of " + heading +
                       L", which is no entry: the converter would drop it and what follows it");
    bool present = false;
    const PACL acl = part.letter == L'D' ? DaclOf(descriptor_.get(), &present) : SaclOf(descriptor_.get(), &present);
    if (part.letter == L'D' && present && !acl)
      Refuse(text, L"asks for a null DACL, which lets everyone do everything; write D:(A;;KA;;;WD) if that is "
                   L"really meant");
    const size_t read = acl ? acl->AceCount : 0;
    if (acl) {
      const AclEdit entries(acl);
      for (size_t i = 0; i < entries.Count(); ++i)
        if (!entries.Entry(i).sid)
          Refuse(text, L"holds in its " + std::wstring(ListName(part.letter)) + L" an entry whose account is no "
                       L"valid SID (at most 15 sub-authorities)");
    }
    if (read != list.entries.size())
      Refuse(text, L"holds " + std::to_wstring(list.entries.size()) + L" entries in its " + ListName(part.letter) +
                       L", of which the converter read " + std::to_wstring(read) +
                       L" (Wine's stops at anything between two entries): write the entries one after another");
  }
  if (!parts_) Refuse(text, L"holds no part: write O:, G:, D: or S: with what the part is to be");

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor_.get(), &control, &revision);
  if (parts_ & DACL_SECURITY_INFORMATION)
    parts_ |= control & SE_DACL_PROTECTED ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION;
  if (parts_ & SACL_SECURITY_INFORMATION)
    parts_ |= control & SE_SACL_PROTECTED ? PROTECTED_SACL_SECURITY_INFORMATION : UNPROTECTED_SACL_SECURITY_INFORMATION;
}

PSID OwnerOf(PSECURITY_DESCRIPTOR descriptor) noexcept {
  PSID sid = nullptr;
  BOOL defaulted = FALSE;
  ::GetSecurityDescriptorOwner(descriptor, &sid, &defaulted);
  return sid;
}

PSID GroupOf(PSECURITY_DESCRIPTOR descriptor) noexcept {
  PSID sid = nullptr;
  BOOL defaulted = FALSE;
  ::GetSecurityDescriptorGroup(descriptor, &sid, &defaulted);
  return sid;
}

PACL DaclOf(PSECURITY_DESCRIPTOR descriptor, bool* present) noexcept {
  BOOL marked = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  ::GetSecurityDescriptorDacl(descriptor, &marked, &acl, &defaulted);
  if (present) *present = marked;
  return marked ? acl : nullptr;
}

PACL SaclOf(PSECURITY_DESCRIPTOR descriptor, bool* present) noexcept {
  BOOL marked = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  ::GetSecurityDescriptorSacl(descriptor, &marked, &acl, &defaulted);
  if (present) *present = marked;
  return marked ? acl : nullptr;
}

}  // namespace vorn::security
