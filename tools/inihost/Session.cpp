#include "Session.h"

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "Errors.h"
#include "RecordArray.h"
#include "Utf8.h"
#include "Values.h"
#include "com/Bstr.h"
#include "platform/windows/WideText.h"

namespace {

using nlohmann::json;

[[noreturn]] void Refuse(const std::string& message) { throw std::invalid_argument(message); }

// A request's text as a BSTR; null stays null.
UniqueBstr RequestString(const json& text)
{
    if (text.is_null())
        return UniqueBstr();
    if (!text.is_string())
        Refuse("a text must be a string or null");
    const std::wstring wide = FromUtf8(text.get<std::string>());
    return MakeBstr(AsU16(wide));
}

std::optional<std::wstring> OptionalText(const json& request, const char* name)
{
    const json text = request.value(name, json());
    if (text.is_null())
        return std::nullopt;
    if (!text.is_string())
        Refuse(std::string("\"") + name + "\" must be a string or null");
    return FromUtf8(text.get<std::string>());
}

// Pointer arguments: null where the request lists their position, zeroed
// storage of their own otherwise.
class PointerArguments {
public:
    explicit PointerArguments(const json& request)
    {
        for (const json& position : request.value("null", json::array())) {
            if (!position.is_number_integer())
                Refuse("\"null\" lists argument positions, whole numbers");
            nulls_.insert(position.get<int>());
        }
    }
    void* operator()(int position)
    {
        return nulls_.count(position) ? nullptr : static_cast<void*>(&storage_[static_cast<size_t>(position)]);
    }

private:
    std::set<int> nulls_;
    std::array<std::uint64_t, 8> storage_{};
};

HRESULT CallNavigatorOperation(IZephFileNavigator* n, int operation, PointerArguments& p)
{
    switch (operation) {
    case 1: return n->NavigatorOperation1(0, p(2), p(3));
    case 2: return n->NavigatorOperation2();
    case 3: return n->NavigatorOperation3(p(1));
    case 4: return n->NavigatorOperation4(p(1), p(2), p(3), p(4), p(5));
    case 5: return n->NavigatorOperation5(0, 0, p(3), p(4));
    case 6: return n->NavigatorOperation6(0, 0, p(3), p(4));
    case 9: return n->NavigatorOperation9(p(1), p(2));
    case 10: return n->NavigatorOperation10(0, 0, p(3));
    case 11: return n->NavigatorOperation11(0, p(2), p(3));
    case 12: return n->NavigatorOperation12();
    case 14: return n->NavigatorOperation14(p(1));
    case 15: return n->NavigatorOperation15(0, 0, 0, p(4), p(5));
    case 16: return n->NavigatorOperation16();
    case 17: return n->NavigatorOperation17();
    case 18: return n->NavigatorOperation18();
    case 19: return n->NavigatorOperation19();
    case 20: return n->NavigatorOperation20();
    default: Refuse("\"n\" names an unsupported navigator operation: 1 to 20 but 7, 8 and 13");
    }
}

HRESULT CallFormatOperation(IZephFileFormat* format, int operation, PointerArguments& p)
{
    switch (operation) {
    case 4: return format->FormatOperation4(0, 0, 0, 0, p(5));
    case 5: return format->FormatOperation5(0, p(2));
    default: Refuse("\"n\" names an unsupported format operation: 4 or 5");
    }
}

IZephFileNavigator* CurrentNavigator(const Host& host)
{
    if (host.navigator() == nullptr)
        Refuse("no navigator is open");
    return host.navigator();
}

json Answer(HRESULT hr) { return {{"hr", HexCode(hr)}}; }

// A failed call's answer also carries the description of its error object.
json Answer(const Outcome& outcome)
{
    json answer = Answer(outcome.result);
    if (outcome.description)
        answer["description"] = ToUtf8(*outcome.description);
    return answer;
}

// Read and write: the records of the request, the call, their state after it.
json ReadOrWrite(Host& host, const json& request, bool write)
{
    IZephFileNavigator* navigator = CurrentNavigator(host);
    RecordArray records;
    const bool nullArray = request.contains("records") && request["records"].is_null();
    const json vars = request.value("vars", json::array());
    if (!vars.is_array())
        Refuse("\"vars\" must be an array");
    for (const json& var : vars) {
        if (!var.is_object())
            Refuse("a variable is an object {\"section\":S,\"key\":K,\"value\":X}");
        const auto section = OptionalText(var, "section");
        const auto key = OptionalText(var, "key");
        const LONG found = var.value("found", 0);
        VARIANT value;
        VariantInit(&value);
        if (var.contains("value"))
            value = ValueFromJson(var["value"], records);
        records.Add(section, key, value, found);
    }
    const LONG length = static_cast<LONG>(records.size());
    const LONG count = request.value("count", length);
    if (count > length)
        Refuse("\"count\" is larger than the array");
    const LONG first = request.value("first", false) ? 1 : 0;
    VariableRecord* array = nullArray ? nullptr : records.data();
    const HRESULT hr = write ? navigator->WriteVariables(0, first, 0, count, array, request.value("format", 0))
                             : navigator->ReadVariables(0, first, 0, count, array);
    json answer = Answer(Described(hr, navigator, IID_IZephFileNavigator));
    answer["vars"] = json::array();
    for (size_t i = 0; i < records.size(); ++i)
        answer["vars"].push_back({{"found", records[i].found}, {"value", ValueToJson(records[i].value)}});
    return answer;
}

json Info(const Host& host)
{
    const FormatInfo info = host.Info();
    const auto text = [](const std::optional<std::wstring>& value) {
        return value ? json(ToUtf8(*value)) : json(nullptr);
    };
    json answer = Answer(info.result);
    answer["vendor"] = text(info.vendor);
    answer["description"] = text(info.description);
    answer["extensions"] = text(info.extensions);
    return answer;
}

json Handle(Host& host, const json& request)
{
    if (!request.is_object() || !request.contains("op") || !request["op"].is_string())
        Refuse("a request is an object with an \"op\"");
    const std::string op = request["op"].get<std::string>();
    if (op == "info")
        return Info(host);
    if (op == "ext") {
        const UniqueBstr extension = RequestString(request.value("ext", json()));
        LONG value = 0;
        json answer = Answer(host.format()->GetExtensionValue(extension.get(), &value));
        answer["value"] = value;
        return answer;
    }
    if (op == "open") {
        const json path = request.value("path", json());
        if (!path.is_null() && !path.is_string())
            Refuse("\"path\" must be a string or null");
        const std::wstring wide = path.is_string() ? FromUtf8(path.get<std::string>()) : std::wstring();
        const std::string via = request.value("via", std::string("format"));
        if (via != "format" && via != "class")
            Refuse("\"via\" is \"format\" or \"class\"");
        return Answer(host.Open(path.is_null() ? nullptr : wide.c_str(), via == "class"));
    }
    if (op == "read" || op == "write")
        return ReadOrWrite(host, request, op == "write");
    if (op == "commit") {
        IZephFileNavigator* navigator = CurrentNavigator(host);
        return Answer(Described(navigator->Commit(), navigator, IID_IZephFileNavigator));
    }
    if (op == "close") {
        host.Close();
        return json::object();
    }
    if (op == "navop") {
        PointerArguments pointers(request);
        return Answer(CallNavigatorOperation(CurrentNavigator(host), request.value("n", 0), pointers));
    }
    if (op == "fmtop") {
        PointerArguments pointers(request);
        return Answer(CallFormatOperation(host.format(), request.value("n", 0), pointers));
    }
    if (op == "canunload") {
        const std::optional<HRESULT> answer = host.plugin().CanUnloadNow();
        if (!answer)
            Refuse("canunload needs a plug-in loaded with --dll");
        return Answer(*answer);
    }
    Refuse("unknown op \"" + op + "\"");
}

}  // namespace

void RunSession(Host& host, std::istream& in, std::ostream& out)
{
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        json answer;
        try {
            answer = Handle(host, json::parse(line));
        } catch (const std::exception& error) {
            answer = {{"error", error.what()}};
        }
        out << answer.dump(-1, ' ', false, json::error_handler_t::replace) << std::endl;
    }
}
