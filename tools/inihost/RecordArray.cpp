#include "RecordArray.h"

#include "com/Bstr.h"
#include "platform/windows/WideText.h"

namespace {

BSTR NewBstr(const std::optional<std::wstring>& text)
{
    if (!text)
        return nullptr;
    return MakeBstr(AsU16(*text))
        .release();
}

}  // namespace

RecordArray::~RecordArray()
{
    for (VariableRecord& record : records_) {
        SysFreeString(record.sectionName);
        SysFreeString(record.keyName);
        VariantClear(&record.value);
    }
}

VariableRecord& RecordArray::Add(const std::optional<std::wstring>& section, const std::optional<std::wstring>& key,
                                 VARIANT value, LONG found)
{
    VariableRecord record = {};
    record.value = value;  // owned from here on, also if a name cannot be copied
    records_.push_back(record);
    VariableRecord& added = records_.back();
    added.sectionName = NewBstr(section);
    added.keyName = NewBstr(key);
    added.found = found;
    return added;
}

DATE* RecordArray::KeepDate(DATE date)
{
    dates_.push_back(date);
    return &dates_.back();
}
