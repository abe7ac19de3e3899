#pragma once
// An array of host records that owns their names and values, laid out as the
// host lays them out: contiguous, 48 bytes apart.
#include <windows.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "HostContract.h"

class RecordArray {
public:
    RecordArray() = default;
    RecordArray(const RecordArray&) = delete;
    RecordArray& operator=(const RecordArray&) = delete;
    ~RecordArray();

    // Adds a record; a missing name is passed as a null BSTR. The record
    // takes ownership of `value`'s contents.
    VariableRecord& Add(const std::optional<std::wstring>& section, const std::optional<std::wstring>& key,
                        VARIANT value, LONG found = 0);

    // Storage for a date passed by reference; lives as long as the array.
    DATE* KeepDate(DATE date);

    VariableRecord* data() { return records_.data(); }
    const VariableRecord& operator[](size_t index) const { return records_[index]; }
    size_t size() const { return records_.size(); }

private:
    std::vector<VariableRecord> records_;
    std::deque<DATE> dates_;
};
