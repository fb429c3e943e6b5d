// The moment a restore or a listing is "as of", from the text a user gives.
#pragma once

#include <string>

#include <wx/datetime.h>

// Parses `text` as local time: "2026-12-02" (the end of that day),
// "2026-12-02 14:30" (the end of that minute), "2026-12-02 14:30:15", or
// "yesterday" (the end of the day before `now`). False for anything else.
bool ParseAsOfTime(const std::string& text, const wxDateTime& now, wxDateTime* when);

// The forms ParseAsOfTime accepts, for a message.
std::string AsOfTimeForms();
