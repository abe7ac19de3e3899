#include "Values.h"

#include <cwchar>
#include <stdexcept>

#include "Utf8.h"
#include "com/Bstr.h"
#include "com/Variant.h"
#include "platform/windows/WideText.h"

namespace {

using nlohmann::json;

[[noreturn]] void Malformed(const std::string& message) { throw std::invalid_argument(message); }

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

VARIANT Empty()
{
    VARIANT value;
    VariantInit(&value);
    return value;
}

VARIANT Text(const std::wstring& text)
{
    VARIANT value = Empty();
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) =
        MakeBstr(AsU16(text)).release();
    return value;
}

LONGLONG ParseInteger(const std::wstring& text)
{
    wchar_t* end = nullptr;
    errno = 0;
    const long long number = std::wcstoll(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || errno == ERANGE)
        Malformed("not a whole number: " + ToUtf8(text));
    return number;
}

double ParseReal(const std::wstring& text)
{
    wchar_t* end = nullptr;
    const double number = std::wcstod(text.c_str(), &end);
    if (text.empty() || *end != L'\0')
        Malformed("not a number: " + ToUtf8(text));
    return number;
}

// The number written by the digits text[at, at + width); -1 when one of
// them is not a digit.
int Digits(const std::wstring& text, size_t at, size_t width)
{
    int number = 0;
    for (size_t i = at; i < at + width; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return -1;
        number = number * 10 + (text[i] - L'0');
    }
    return number;
}

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The day's number in the proleptic Gregorian calendar, for the years 0 to
// 9999; only differences of day numbers mean anything. Years are counted
// from March, so that the leap day ends a year, and from 400 years before
// the year 0 (a whole number of days), so that every division is of a
// number that is not negative.
int DayNumber(int year, int month, int day)
{
    const int fromMarch = (month <= 2 ? year - 1 : year) + 400;
    const int monthFromMarch = month > 2 ? month - 3 : month + 9;
    return 365 * fromMarch + fromMarch / 4 - fromMarch / 100 + fromMarch / 400 + (153 * monthFromMarch + 2) / 5 +
           day - 1;
}

// YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS as an OLE Automation
// date, with the year as written: 0099 is the year 99, which the plug-in
// then refuses (the system's own conversion would take it for 1999).
DATE ParseDate(const std::wstring& text)
{
    const size_t size = text.size();
    const bool shapeFits = (size == 10 || size == 16 || size == 19) && text[4] == L'-' && text[7] == L'-' &&
                           (size == 10 || (text[10] == L'T' && text[13] == L':')) && (size != 19 || text[16] == L':');
    const int year = shapeFits ? Digits(text, 0, 4) : -1;
    const int month = shapeFits ? Digits(text, 5, 2) : -1;
    const int day = shapeFits ? Digits(text, 8, 2) : -1;
    const int hour = size > 10 ? Digits(text, 11, 2) : 0;
    const int minute = size > 10 ? Digits(text, 14, 2) : 0;
    const int second = size > 16 ? Digits(text, 17, 2) : 0;
    if (!shapeFits || year < 0 || hour < 0 || minute < 0 || second < 0)
        Malformed("not a date of the form YYYY-MM-DD[THH:MM[:SS]]: " + ToUtf8(text));
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        Malformed("not a valid date: " + ToUtf8(text));
    // An OLE Automation date counts days from 30 December 1899; before it,
    // the time of day still counts away from zero: -1.25 is 29 December
    // 1899, 06:00.
    const int days = DayNumber(year, month, day) - DayNumber(1899, 12, 30);
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    return days >= 0 ? days + time : days - time;
}

VARIANT Typed(VARTYPE type)
{
    VARIANT value = Empty();
    V_VT(&value) = type;
    return value;
}

double Number(const json& v, const char* type)
{
    if (!v.is_number())
        Malformed(std::string("\"v\" of a value of type ") + type + " must be a number");
    return v.get<double>();
}

}  // namespace

VARIANT ValueFromArgument(const std::wstring& argument)
{
    if (StartsWith(argument, L"text:"))
        return Text(argument.substr(5));
    if (StartsWith(argument, L"int:")) {
        const LONGLONG number = ParseInteger(argument.substr(4));
        VARIANT value = Typed(VT_I8);
        V_I8(&value) = number;
        if (number >= LONG_MIN && number <= LONG_MAX) {
            V_VT(&value) = VT_I4;
            V_I4(&value) = static_cast<LONG>(number);
        }
        return value;
    }
    if (StartsWith(argument, L"real:")) {
        VARIANT value = Typed(VT_R8);
        V_R8(&value) = ParseReal(argument.substr(5));
        return value;
    }
    if (StartsWith(argument, L"bool:")) {
        const std::wstring flag = argument.substr(5);
        if (flag != L"true" && flag != L"false" && flag != L"1" && flag != L"0")
            Malformed("not a truth value (true, false, 1, 0): " + ToUtf8(flag));
        VARIANT value = Typed(VT_BOOL);
        V_BOOL(&value) = (flag == L"true" || flag == L"1") ? VARIANT_TRUE : VARIANT_FALSE;
        return value;
    }
    if (StartsWith(argument, L"date:")) {
        VARIANT value = Typed(VT_DATE);
        V_DATE(&value) = ParseDate(argument.substr(5));
        return value;
    }
    return Text(argument);
}

VARIANT ValueFromJson(const json& value, RecordArray& records)
{
    if (!value.is_object() || !value.contains("vt") || !value["vt"].is_string())
        Malformed("a value is an object {\"vt\": TYPE, \"v\": ...}");
    const std::string type = value["vt"].get<std::string>();
    const json v = value.value("v", json());
    if (type == "empty")
        return Empty();
    if (type == "null")
        return Typed(VT_NULL);
    if (type == "bstr") {
        if (v.is_null())
            return Typed(VT_BSTR);
        if (!v.is_string())
            Malformed("\"v\" of a bstr must be a string or null");
        return Text(FromUtf8(v.get<std::string>()));
    }
    if (type == "unknown")
        return Typed(VT_UNKNOWN);
    VARIANT result = Empty();
    if (type == "i2") {
        V_VT(&result) = VT_I2;
        V_I2(&result) = static_cast<SHORT>(Number(v, "i2"));
    } else if (type == "i4") {
        V_VT(&result) = VT_I4;
        V_I4(&result) = static_cast<LONG>(Number(v, "i4"));
    } else if (type == "i8") {
        if (!v.is_number_integer())
            Malformed("\"v\" of an i8 must be a whole number");
        V_VT(&result) = VT_I8;
        V_I8(&result) = v.get<LONGLONG>();
    } else if (type == "r4") {
        V_VT(&result) = VT_R4;
        V_R4(&result) = static_cast<float>(Number(v, "r4"));
    } else if (type == "r8") {
        V_VT(&result) = VT_R8;
        V_R8(&result) = Number(v, "r8");
    } else if (type == "bool") {
        const bool flag = v.is_boolean() ? v.get<bool>() : Number(v, "bool") != 0;
        V_VT(&result) = VT_BOOL;
        V_BOOL(&result) = flag ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (type == "cy") {
        V_VT(&result) = VT_CY;
        if (FAILED(VarCyFromR8(Number(v, "cy"), &V_CY(&result))))
            Malformed("\"v\" is out of the currency range");
    } else if (type == "date") {
        V_VT(&result) = VT_DATE;
        V_DATE(&result) = Number(v, "date");
    } else if (type == "date_byref") {
        V_VT(&result) = VT_DATE | VT_BYREF;
        V_DATEREF(&result) = records.KeepDate(Number(v, "date_byref"));
    } else if (type == "error") {
        V_VT(&result) = VT_ERROR;
        V_ERROR(&result) = static_cast<SCODE>(static_cast<long long>(Number(v, "error")));
    } else {
        Malformed("unknown value type \"" + type + "\"");
    }
    return result;
}

json ValueToJson(const VARIANT& value)
{
    switch (V_VT(&value)) {
    case VT_EMPTY: return {{"vt", "empty"}};
    case VT_NULL: return {{"vt", "null"}};
    case VT_BSTR:
        if (V_BSTR(&value) == nullptr)
            return {{"vt", "bstr"}, {"v", nullptr}};
        return {{"vt", "bstr"}, {"v", ToUtf8(std::wstring_view(V_BSTR(&value), SysStringLen(V_BSTR(&value))))}};
    case VT_I2: return {{"vt", "i2"}, {"v", V_I2(&value)}};
    case VT_I4: return {{"vt", "i4"}, {"v", V_I4(&value)}};
    case VT_I8: return {{"vt", "i8"}, {"v", V_I8(&value)}};
    case VT_R4: return {{"vt", "r4"}, {"v", V_R4(&value)}};
    case VT_R8: return {{"vt", "r8"}, {"v", V_R8(&value)}};
    case VT_BOOL: return {{"vt", "bool"}, {"v", V_BOOL(&value) != VARIANT_FALSE}};
    case VT_CY: {
        double number = 0;
        VarR8FromCy(V_CY(&value), &number);
        return {{"vt", "cy"}, {"v", number}};
    }
    case VT_DATE: return {{"vt", "date"}, {"v", V_DATE(&value)}};
    case VT_DATE | VT_BYREF: return {{"vt", "date_byref"}, {"v", *V_DATEREF(&value)}};
    case VT_ERROR: return {{"vt", "error"}, {"v", V_ERROR(&value)}};
    case VT_UNKNOWN: return {{"vt", "unknown"}};
    default: return {{"vt", "other"}, {"code", V_VT(&value)}};
    }
}

std::wstring ValueForDisplay(const VARIANT& value)
{
    if (V_VT(&value) == VT_BSTR)
        return V_BSTR(&value) != nullptr ? std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value))) : L"";
    UniqueVariant text;
    if (FAILED(VariantChangeType(text.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
        return L"(a value without text)";
    return V_BSTR(text.get()) != nullptr ? std::wstring(V_BSTR(text.get())) : std::wstring();
}
