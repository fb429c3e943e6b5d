#include "engine/AsOfTime.h"

#include <cstdio>

#include <wx/intl.h>

namespace {

bool ValidDate(int year, int month, int day) {
  return year >= 1970 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= wxDateTime::GetNumberOfDays(static_cast<wxDateTime::Month>(month - 1), year);
}

wxDateTime Local(int year, int month, int day, int hour, int minute, int second) {
  return wxDateTime(static_cast<wxDateTime::wxDateTime_t>(day),
                    static_cast<wxDateTime::Month>(month - 1), year,
                    static_cast<wxDateTime::wxDateTime_t>(hour),
                    static_cast<wxDateTime::wxDateTime_t>(minute),
                    static_cast<wxDateTime::wxDateTime_t>(second));
}

}  // namespace

bool ParseAsOfTime(const std::string& text, const wxDateTime& now, wxDateTime* when) {
  if (text == "yesterday") {
    const wxDateTime day = now - wxDateSpan::Day();
    *when = Local(day.GetYear(), static_cast<int>(day.GetMonth()) + 1, day.GetDay(), 23, 59, 59);
    return when->IsValid();
  }
  int year = 0, month = 0, day = 0, hour = 23, minute = 59, second = 59;
  int used = 0;
  const char* s = text.c_str();
  bool parsed = false;
  if (text.size() == 10) {
    parsed = std::sscanf(s, "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3;
  } else if (text.size() == 16) {
    parsed = std::sscanf(s, "%4d-%2d-%2d %2d:%2d%n", &year, &month, &day, &hour, &minute, &used) == 5;
  } else if (text.size() == 19) {
    parsed = std::sscanf(s, "%4d-%2d-%2d %2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                         &second, &used) == 6;
  }
  // Every character is part of the form: digits where digits belong.
  for (size_t i = 0; parsed && i < text.size(); ++i) {
    const char expected = "dddd-dd-dd dd:dd:dd"[i];
    parsed = expected == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == expected;
  }
  if (!parsed || used != static_cast<int>(text.size()) || !ValidDate(year, month, day) ||
      hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  *when = Local(year, month, day, hour, minute, second);
  return when->IsValid();
}

std::string AsOfTimeForms() {
  return wxString(_("accepted forms: 2026-12-02, \"2026-12-02 14:30\", \"2026-12-02 14:30:15\", "
                    "yesterday (local time)"))
      .ToStdString(wxConvUTF8);
}
