#pragma once
// The navigator: one object bound to one INI file, through which the host
// reads and writes variables.
#include <windows.h>

#include <deque>
#include <optional>
#include <string>

#include "HostContract.h"
#include "IniPlugin.h"
#include "com/ComObject.h"
#include "com/ErrorObject.h"
#include "document/IniFileReader.h"
#include "platform/windows/FileLock.h"

class CIniFile final : public ComObject<CIniFile, ApartmentRefCount, IIniFile, IZephFileNavigator,
                                        IZephFileNavigatorInit, ISupportErrorInfo> {
public:
    // One pending write: section name, key name, value text.
    struct Data {
        std::u16string section;
        std::u16string key;
        std::u16string value;
    };

    // Units of the buffer a value is read into; a value read through the
    // profile functions keeps at most kValueBufferUnits - 2 of them.
    static constexpr int kValueBufferUnits = 4096;

    CIniFile() = default;

    // IZephFileNavigatorInit
    HRESULT STDMETHODCALLTYPE Init(LPCWSTR filePath, LONG_PTR context) override;

    // IZephFileNavigator: the supported operations.
    HRESULT STDMETHODCALLTYPE WriteVariables(LONG_PTR arg1, LONG firstOnly, LONG_PTR arg3, LONG count,
                                             VariableRecord* records, LONG formatSelector) override;
    HRESULT STDMETHODCALLTYPE ReadVariables(LONG_PTR arg1, LONG firstOnly, LONG_PTR arg3, LONG count,
                                            VariableRecord* records) override;
    HRESULT STDMETHODCALLTYPE Commit() override;

    // IZephFileNavigator: the operations this format does not support.
    HRESULT STDMETHODCALLTYPE NavigatorOperation1(LONG_PTR arg1, void* arg2, void* arg3) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation2() override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation3(void* arg1) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation4(void* arg1, void* arg2, void* arg3, void* arg4, void* arg5) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation5(LONG_PTR arg1, LONG_PTR arg2, void* arg3, void* arg4) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation6(LONG_PTR arg1, LONG_PTR arg2, void* arg3, void* arg4) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation9(void* arg1, void* arg2) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation10(LONG_PTR arg1, LONG_PTR arg2, void* arg3) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation11(LONG_PTR arg1, void* arg2, void* arg3) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation12() override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation14(void* arg1) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation15(LONG_PTR arg1, LONG_PTR arg2, LONG_PTR arg3, void* arg4,
                                                   void* arg5) override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation16() override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation17() override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation18() override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation19() override;
    HRESULT STDMETHODCALLTYPE NavigatorOperation20() override;

    // ISupportErrorInfo: Init, ReadVariables, WriteVariables and Commit
    // leave an error object that describes their failure, or none.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override
    {
        return SupportsErrorInfo(iid, {&IID_IZephFileNavigator, &IID_IZephFileNavigatorInit});
    }

private:
    class OperationScope;

    // True when values are read from `document` rather than through the
    // private-profile functions: in InMemory mode, for UTF-16 files.
    bool UsesInMemoryPath() const noexcept;

    // Reads the value text of a key into a buffer of kValueBufferUnits units;
    // the caller terminates the buffer's last unit.
    void FetchValueText(const wchar_t* section, const wchar_t* key, wchar_t* buffer) const;

    // Reads the current text of a key into `buffer` (`capacity` units, the
    // last one always the terminator), or `defaultText` when it is missing.
    void ReadRawValue(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                      int capacity) const;

    // Copies at most `capacity` units of the document's text for the pair,
    // or of `defaultText` when the pair is missing, into `buffer`.
    void CopyDocumentText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                          int capacity) const;

    // Reads the records from the start, or (`missedOnly`) those that the
    // last pass did not find; `missed` tells whether any was not found.
    // E_OUTOFMEMORY when a text could not be stored.
    HRESULT ReadRecords(LONG firstOnly, LONG count, VariableRecord* records, bool missedOnly, bool& missed) const;

    // The shared lock that reads through the profile functions hold; none
    // when values are read from the document.
    std::optional<platform::FileLock> LockForProfileReads();
    // The exclusive lock that writes through the profile functions hold,
    // with what killed saves left settled; none when nothing reaches the
    // file before the commit.
    std::optional<platform::FileLock> LockForProfileWrites();
    // The exclusive lock of a commit, with what killed saves left settled.
    platform::FileLock LockForCommit();

    // Where the file is missing beside the new version that a save killed
    // half way left, puts that version in place, under the exclusive lock.
    void RestoreAbandonedSave();

    // Whether writes go to a file in the ANSI code page, whose names must
    // be ones the code page holds. Throws FileStepError for a file that the
    // document does not write back: such a file is not written at all, not
    // even through the profile functions.
    bool WritesAnsiFile() const;

    // Turns one record into a pending write. Throws UnwritableValue when the
    // value has no text (DateOutsideCalendar for a date outside the years
    // 100 to 9999), RefusedText when a name is one the file cannot hold or
    // the text holds a line break.
    Data MakeWrite(const VariableRecord& record, LONG formatSelector, bool ansiFile) const;

    // On the profile path, writes the pending writes from `first` on into
    // the file at once, through the profile functions, all in one step; the
    // caller holds the exclusive lock, or nothing can be locked.
    void WriteNow(size_t first);

    // Loads the file, applies every pending write in order and saves it;
    // the caller holds the exclusive lock, or nothing can be locked. Throws
    // FileStepError when the file cannot be read or saved.
    HRESULT CommitLocked();

    std::u16string path;
    std::deque<Data> pendingWrites;
    IniFileReader document;
    // Where this navigator's lock lives: the lock file of the file's folder,
    // open from the first wait for the lock to the navigator's end.
    platform::FileLockSite lockSite;
    // Operations of this navigator under way in its thread: more than one
    // while host code, run by a message that a wait dispatched, calls it.
    int operationsUnderWay = 0;
};
