#pragma once
// Host values as inihost's users write them: on the command line as text
// with an optional type prefix, in a `run` session as JSON {"vt":T,"v":X}.
#include <windows.h>

#include <nlohmann/json.hpp>
#include <string>

#include "RecordArray.h"

// "text", "int:42", "real:2.5", "bool:true", "date:2005-03-07",
// "date:2005-03-07T14:05" or "date:2005-03-07T14:05:09". Throws
// std::invalid_argument with a message for a malformed value. The result
// is owned by the caller.
VARIANT ValueFromArgument(const std::wstring& argument);

// A JSON value of a `run` session; dates passed by reference are stored in
// `records`. Throws std::invalid_argument with a message.
VARIANT ValueFromJson(const nlohmann::json& value, RecordArray& records);

// The JSON form of a value after a plug-in call.
nlohmann::json ValueToJson(const VARIANT& value);

// The value as a human reads it on the console.
std::wstring ValueForDisplay(const VARIANT& value);
