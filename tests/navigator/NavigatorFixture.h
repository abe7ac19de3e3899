#pragma once
// What navigator tests share: a navigator bound to a file in a fresh folder,
// and an array of host records that owns its names and values.
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "HostContract.h"
#include "navigator/CIniFile.h"
#include "platform/windows/UniqueHandle.h"
#include "support/TestFiles.h"

// Host records as the host lays them out: contiguous, 48 bytes apart.
class Records {
public:
    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records()
    {
        for (VariableRecord& record : records_) {
            SysFreeString(record.sectionName);
            SysFreeString(record.keyName);
            VariantClear(&record.value);
        }
    }

    // Adds a record; a null name stays null.
    VariableRecord& Add(const wchar_t* section, const wchar_t* key)
    {
        VariableRecord record = {};
        record.sectionName = section ? SysAllocString(section) : nullptr;
        record.keyName = key ? SysAllocString(key) : nullptr;
        VariantInit(&record.value);
        record.found = -1;  // neither 0 nor 1: shows whether the plug-in wrote it
        records_.push_back(record);
        return records_.back();
    }
    VariableRecord& AddText(const wchar_t* section, const wchar_t* key, const wchar_t* text)
    {
        VariableRecord& record = Add(section, key);
        V_VT(&record.value) = VT_BSTR;
        V_BSTR(&record.value) = SysAllocString(text);
        return record;
    }

    // Gives a record names with exactly these units, NUL included.
    void Rename(VariableRecord& record, std::wstring_view section, std::wstring_view key)
    {
        SysFreeString(record.sectionName);
        SysFreeString(record.keyName);
        record.sectionName = SysAllocStringLen(section.data(), static_cast<UINT>(section.size()));
        record.keyName = SysAllocStringLen(key.data(), static_cast<UINT>(key.size()));
    }

    VariableRecord* data() { return records_.data(); }
    LONG count() const { return static_cast<LONG>(records_.size()); }
    VariableRecord& operator[](size_t index) { return records_[index]; }

private:
    std::vector<VariableRecord> records_;
};

// The text a record's value holds, or a description of what else it holds.
inline std::wstring ValueText(const VariableRecord& record)
{
    if (V_VT(&record.value) != VT_BSTR)
        return L"<vt " + std::to_wstring(V_VT(&record.value)) + L">";
    return V_BSTR(&record.value) ? std::wstring(V_BSTR(&record.value)) : std::wstring(L"<null>");
}

// Holds a file open with no sharing, so nobody else can read it.
class ExclusiveHold {
public:
    explicit ExclusiveHold(const std::filesystem::path& file)
        : handle_(CreateFileW(file.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        EXPECT_TRUE(handle_) << "could not hold the file";
    }
    void Release() { handle_.reset(); }

private:
    UniqueFileHandle handle_;
};

class NavigatorTest : public ::testing::Test {
protected:
    // A navigator created the way the format object creates one and bound to `file`.
    Microsoft::WRL::ComPtr<IZephFileNavigator> OpenNavigator(const std::filesystem::path& file, HRESULT expected = S_OK)
    {
        Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
        EXPECT_EQ(S_OK, CIniFile::CreateInstance(nullptr, IID_IZephFileNavigatorInit, &init));
        EXPECT_EQ(expected, init->Init(file.wstring().c_str(), 0));
        Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
        EXPECT_EQ(S_OK, init.As(&navigator));
        return navigator;
    }

    std::filesystem::path IniFile(std::string_view content, std::string_view name = "test.ini")
    {
        return folder.WriteFile(name, content);
    }

    TempFolder folder;
};
