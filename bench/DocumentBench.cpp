// How fast the INI document loads, looks up, updates and saves generated
// files of 1 MB, 10 MB and 100 MB (MB = 10^6 bytes), ANSI and UTF-16,
// measured beside its peers on the same files: SimpleIni (load and save, the
// closest peer that keeps a file's form), inih (parse only) and the floor,
// copying the file's bytes. Peers read bytes, so they run on the ANSI files
// only. Peak memory is measured in a fresh process per file.
//
// One section of 80,000 keys whose names were made to collide in the
// document's index under a key the benchmark sets is loaded and looked up
// in beside an ordinary section of the same size, under the process's own
// key and under the key the names were made for.
//
// The last line of the output is the summary of the 10 MB ANSI file: rates,
// peak memory, and the ratios the document is held to.
#include <SimpleIni.h>
#include <benchmark/benchmark.h>
#include <ini.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "document/IniFileReader.h"
#include "document/NameIndex.h"

extern char** environ;

namespace {

constexpr double kMegabyte = 1e6;
constexpr char kPeakMemoryFlag[] = "--peak-memory";

struct Key {
    std::u16string section;
    std::u16string name;
};

// One generated file and every key it holds.
struct BenchFile {
    std::string label;  // "10MB ansi"
    size_t megabytes;
    bool unicode;
    std::filesystem::path path;
    std::filesystem::path copy;  // where saves go
    size_t bytes;
    std::vector<Key> keys;
};

std::u16string Widened(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Sections of 10 to 40 keys, each headed by a comment and ended by a blank
// line; names and texts of varied length, a few letters beyond ASCII.
std::string GenerateText(size_t targetBytes, std::vector<Key>& keys)
{
    std::mt19937 random(42);
    std::string text;
    text.reserve(targetBytes + 4096);
    char line[160];
    for (int section = 0; text.size() < targetBytes; ++section) {
        std::snprintf(line, sizeof line, "; Settings of module %d, written by the generator\r\n[Module%05d]\r\n",
                      section, section);
        text += line;
        const std::string sectionName = "Module" + std::to_string(100000 + section).substr(1);
        const int count = 10 + static_cast<int>(random() % 31);
        for (int key = 0; key < count; ++key) {
            const int length = 8 + static_cast<int>(random() % 40);
            std::snprintf(line, sizeof line, "Option%d_%d=%.*s\r\n", key, section, length,
                          "value text w\xE4hrend with some words, numbers 0123456789 and more words");
            text += line;
            keys.push_back(Key{Widened(sectionName), Widened("Option" + std::to_string(key) + "_" +
                                                             std::to_string(section))});
        }
        text += "\r\n";
    }
    return text;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

BenchFile MakeFile(const std::filesystem::path& folder, size_t megabytes, bool unicode)
{
    BenchFile file;
    file.megabytes = megabytes;
    file.unicode = unicode;
    file.label = std::to_string(megabytes) + "MB " + (unicode ? "utf16" : "ansi");
    file.path = folder / (std::to_string(megabytes) + (unicode ? "-utf16.ini" : "-ansi.ini"));
    file.copy = folder / (std::to_string(megabytes) + (unicode ? "-utf16-saved.ini" : "-ansi-saved.ini"));
    const size_t target = static_cast<size_t>(megabytes * kMegabyte);
    std::string text = GenerateText(unicode ? target / 2 : target, file.keys);
    if (unicode) {
        // The same text as UTF-16 LE with its byte-order mark; E4 is a-umlaut.
        std::string bytes = "\xFF\xFE";
        bytes.reserve(text.size() * 2 + 2);
        for (const char byte : text) {
            bytes += byte;
            bytes += '\0';
        }
        text = std::move(bytes);
    }
    WriteFile(file.path, text);
    file.bytes = text.size();
    return file;
}

// Benchmarks

std::u16string U16(const std::filesystem::path& path) { return path.u16string(); }

// A section of keys made to collide, and an ordinary one of the same size.
struct CraftedSection {
    static constexpr size_t kKeys = 80000;
    std::filesystem::path crafted;
    std::filesystem::path ordinary;
    size_t bytes;
};

// The key the crafted names collide under; the process hashes with another.
constexpr document::NameHashKey kCraftingKey{0x0123456789ABCDEFu, 0x0F1E2D3C4B5A6978u};

std::string KeyName(size_t number)
{
    char name[16];
    std::snprintf(name, sizeof name, "k%08zu", number);
    return name;
}

std::string SectionOf(const std::vector<size_t>& numbers)
{
    std::string text = "[Crafted]\r\n";
    for (const size_t number : numbers)
        text += KeyName(number) + "=value text\r\n";
    return text;
}

// The crafted names are those whose hashes under kCraftingKey begin with 8
// zero bits: in the section's table of 2^17 slots their homes lie in the
// first 512, and linear probing lines them up in one run of 80,000.
CraftedSection MakeCraftedSection(const std::filesystem::path& folder)
{
    std::vector<size_t> crafted;
    std::vector<size_t> ordinary;
    for (size_t number = 0; crafted.size() < CraftedSection::kKeys; ++number) {
        const std::string name = KeyName(number);
        if (document::FoldedHash(Widened(name), kCraftingKey) >> 24 == 0)
            crafted.push_back(number);
        if (ordinary.size() < CraftedSection::kKeys)
            ordinary.push_back(number);
    }
    CraftedSection section;
    section.crafted = folder / "crafted.ini";
    section.ordinary = folder / "ordinary.ini";
    const std::string text = SectionOf(crafted);
    WriteFile(section.crafted, text);
    WriteFile(section.ordinary, SectionOf(ordinary));
    section.bytes = text.size();
    return section;
}

// A load and the first lookup in the section, which indexes its keys: what
// a commit that writes to the section pays for it.
bool LoadAndLookUp(IniFileReader& document, const std::u16string& path)
{
    std::u16string text;
    return document.Load(path) && !document.GetValue(u"Crafted", u"absent", text);
}

void SectionLoad(benchmark::State& state, const std::filesystem::path* file)
{
    const std::u16string path = U16(*file);
    IniFileReader document;
    LoadAndLookUp(document, path);
    for (auto _ : state) {
        if (!LoadAndLookUp(document, path))
            state.SkipWithError("load failed");
    }
}

// One load and lookup of the crafted section under the key its names were
// made for, in seconds, and the probes of looking up its names once.
double LoadUnderCraftingKey(const CraftedSection& section, size_t& probes)
{
    const document::NameHashKey process = document::ProcessNameHashKey();
    document::SetNameHashKeyForTesting(kCraftingKey);
    double seconds;
    {
        IniFileReader document;
        const auto start = std::chrono::steady_clock::now();
        LoadAndLookUp(document, U16(section.crafted));
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        probes = document.LookupProbes();
    }
    document::SetNameHashKeyForTesting(process);
    return seconds;
}

size_t LookupProbes(const std::filesystem::path& path)
{
    IniFileReader document;
    document.Load(U16(path));
    return document.LookupProbes();
}

// Loads go to one document that has held the file before, as a navigator
// loads its own again at every commit: the figures are of a document whose
// memory is in use already, not of the system's first handing out of pages
// to a process.
void DocumentLoad(benchmark::State& state, const std::filesystem::path* file)
{
    const std::u16string path = U16(*file);
    IniFileReader document;
    document.Load(path);
    for (auto _ : state) {
        if (!document.Load(path))
            state.SkipWithError("load failed");
    }
}

void DocumentLookups(benchmark::State& state, const BenchFile* file)
{
    IniFileReader document;
    document.Load(U16(file->path));
    std::u16string text;
    for (auto _ : state) {
        size_t found = 0;
        for (const Key& key : file->keys)
            found += document.GetValue(key.section, key.name, text);
        if (found != file->keys.size())
            state.SkipWithError("a key was not found");
    }
    state.counters["lookups/s"] =
        benchmark::Counter(static_cast<double>(file->keys.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void DocumentLoadSave(benchmark::State& state, const BenchFile* file)
{
    const std::u16string path = U16(file->path);
    const std::u16string copy = U16(file->copy);
    const Key& middle = file->keys[file->keys.size() / 2];
    IniFileReader document;
    document.Load(path);
    for (auto _ : state) {
        document.Load(path);
        document.SetValue(middle.section, middle.name, u"changed");
        if (!document.Save(copy))
            state.SkipWithError("save failed");
    }
}

void SimpleIniLoadSave(benchmark::State& state, const BenchFile* file)
{
    for (auto _ : state) {
        CSimpleIniA ini;
        if (ini.LoadFile(file->path.c_str()) < 0)
            state.SkipWithError("SimpleIni load failed");
        ini.SetValue("Module00000", "Option0_0", "changed");
        if (ini.SaveFile(file->copy.c_str()) < 0)
            state.SkipWithError("SimpleIni save failed");
    }
}

int CountPair(void* user, const char*, const char*, const char*)
{
    ++*static_cast<size_t*>(user);
    return 1;
}

void InihParse(benchmark::State& state, const BenchFile* file)
{
    for (auto _ : state) {
        size_t pairs = 0;
        if (ini_parse(file->path.c_str(), CountPair, &pairs) != 0)
            state.SkipWithError("inih parse failed");
        benchmark::DoNotOptimize(pairs);
    }
}

void RawCopy(benchmark::State& state, const BenchFile* file)
{
    for (auto _ : state) {
        const std::string bytes = ReadFile(file->path);
        WriteFile(file->copy, bytes);
    }
}

// Peak memory

// The peak resident size of this process's memory so far, in bytes. Read
// from /proc because getrusage's figure survives exec: a process that the
// benchmark spawns would start with the benchmark's own peak.
long PeakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10) * 1024L;
    }
    return -1;
}

// Runs in a fresh process: load, one SetValue and save of one file, and the
// growth of the process's peak resident size meanwhile, in bytes.
int MeasurePeakMemory(const char* path)
{
    const long before = PeakResidentBytes();
    {
        IniFileReader document;
        const std::u16string file = U16(path);
        if (!document.Load(file))
            return 1;
        document.SetValue(u"Module00000", u"Option0_0", u"changed");
        if (!document.Save(file + u".saved"))
            return 1;
    }
    std::printf("%ld\n", PeakResidentBytes() - before);
    return 0;
}

// The peak memory of load, SetValue and save, as a multiple of the file size.
double PeakMemoryFactor(const BenchFile& file)
{
    int output[2];
    if (pipe(output) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    const std::string path = file.path.string();
    char program[] = "/proc/self/exe";
    char* const arguments[] = {program, const_cast<char*>(kPeakMemoryFlag), const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    char text[64] = {};
    const ssize_t got = spawned == 0 ? read(output[0], text, sizeof text - 1) : -1;
    close(output[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || got <= 0)
        return -1;
    std::filesystem::remove(file.path.string() + ".saved");
    return std::strtod(text, nullptr) / static_cast<double>(file.bytes);
}

// Collects each run's time per iteration, by benchmark name, while the
// console shows the usual table.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    // Takes the median of repeated runs, and every run that is not repeated.
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const bool wanted = run.run_type == Run::RT_Iteration ? run.repetitions <= 1 : run.aggregate_name == "median";
            if (wanted && !run.error_occurred && run.iterations > 0) {
                const auto iterations = static_cast<double>(run.iterations);
                seconds_[run.run_name.function_name] = run.real_accumulated_time / iterations;
                cpuSeconds_[run.run_name.function_name] = run.cpu_accumulated_time / iterations;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Seconds per pass of a benchmark; 0 when it did not run.
    double Seconds(const std::string& name) const
    {
        const auto found = seconds_.find(name);
        return found == seconds_.end() ? 0.0 : found->second;
    }

    // The same of a benchmark over a file.
    double Seconds(const std::string& benchmark, const BenchFile& file) const
    {
        return Seconds(benchmark + "/" + file.label);
    }

    // The same in processor time of this process.
    double CpuSeconds(const std::string& benchmark, const BenchFile& file) const
    {
        const auto found = cpuSeconds_.find(benchmark + "/" + file.label);
        return found == cpuSeconds_.end() ? 0.0 : found->second;
    }

    // MB of the file per second; 0 when it did not run.
    double Rate(const std::string& benchmark, const BenchFile& file) const
    {
        const double seconds = Seconds(benchmark, file);
        return seconds > 0 ? static_cast<double>(file.bytes) / kMegabyte / seconds : 0.0;
    }

private:
    std::map<std::string, double> seconds_;
    std::map<std::string, double> cpuSeconds_;
};

void RegisterBenchmarks(const std::vector<BenchFile>& files, const CraftedSection& section)
{
    for (const auto& [name, path] : {std::pair{"load/crafted section", &section.crafted},
                                     std::pair{"load/ordinary section", &section.ordinary}}) {
        benchmark::RegisterBenchmark(name, SectionLoad, path)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(0.5)
            ->Repetitions(3)
            ->ReportAggregatesOnly(true);
    }
    for (const BenchFile& file : files) {
        // One pass over 100 MB is long enough to time; smaller files repeat,
        // and their figure is the median of three runs, so that a moment in
        // which other programs take the processors weighs less.
        const auto tune = [&](benchmark::internal::Benchmark* bench) {
            bench->Unit(benchmark::kMillisecond)->UseRealTime();
            if (file.megabytes >= 100)
                bench->Iterations(2);
            else
                bench->MinTime(0.5)->Repetitions(3)->ReportAggregatesOnly(true);
        };
        const std::string& label = file.label;
        tune(benchmark::RegisterBenchmark(("load/" + label).c_str(), DocumentLoad, &file.path));
        tune(benchmark::RegisterBenchmark(("lookups/" + label).c_str(), DocumentLookups, &file));
        tune(benchmark::RegisterBenchmark(("load+save/" + label).c_str(), DocumentLoadSave, &file));
        if (!file.unicode) {
            tune(benchmark::RegisterBenchmark(("simpleini load+save/" + label).c_str(), SimpleIniLoadSave, &file));
            tune(benchmark::RegisterBenchmark(("inih parse/" + label).c_str(), InihParse, &file));
        }
        tune(benchmark::RegisterBenchmark(("raw copy/" + label).c_str(), RawCopy, &file));
    }
}

// A rate or a ratio with one decimal, or "-" where there is none.
std::string Figure(double value)
{
    char text[32] = "-";
    if (value > 0)
        std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The crafted section beside the ordinary one.
void PrintCraftedSection(const CraftedSection& section, const CollectingReporter& results)
{
    const double crafted = results.Seconds("load/crafted section");
    const double ordinary = results.Seconds("load/ordinary section");
    size_t probesUnderItsKey = 0;
    const double underItsKey = LoadUnderCraftingKey(section, probesUnderItsKey);
    std::printf("crafted section of %zu keys, %.1f MB: load and first lookup %.1f ms, ordinary section of the same "
                "size %.1f ms, ratio %.2f; probes %zu against %zu; under the key its names were made for %.0f ms, %zu "
                "probes\n",
                CraftedSection::kKeys, static_cast<double>(section.bytes) / kMegabyte, crafted * 1e3, ordinary * 1e3,
                ordinary > 0 ? crafted / ordinary : 0.0, LookupProbes(section.crafted), LookupProbes(section.ordinary),
                underItsKey * 1e3, probesUnderItsKey);
}

// The table of rates and ratios, the linearity, and last the summary line of
// the 10 MB ANSI file with the figures the document is held to.
void PrintSummary(const std::vector<BenchFile>& files, const CollectingReporter& results)
{
    std::printf("\nMB/s (MB = 10^6 bytes); vs inih = load / inih parse; vs SimpleIni = load+save / SimpleIni "
                "load+save; memory = peak growth of load, SetValue and save / file size\n");
    std::printf("%-12s %9s %9s %9s %10s %9s %9s %8s %12s %7s\n", "file", "load", "lookups", "load+save",
                "SimpleIni", "inih", "raw copy", "vs inih", "vs SimpleIni", "memory");
    std::map<std::string, double> memory;
    for (const BenchFile& file : files) {
        const double load = results.Rate("load", file);
        const double loadSave = results.Rate("load+save", file);
        const double simpleIni = results.Rate("simpleini load+save", file);
        const double inih = results.Rate("inih parse", file);
        memory[file.label] = PeakMemoryFactor(file);
        std::printf("%-12s %9s %9s %9s %10s %9s %9s %8s %12s %6sx\n", file.label.c_str(), Figure(load).c_str(),
                    Figure(results.Rate("lookups", file)).c_str(), Figure(loadSave).c_str(),
                    Figure(simpleIni).c_str(), Figure(inih).c_str(), Figure(results.Rate("raw copy", file)).c_str(),
                    Figure(inih > 0 ? load / inih : 0).c_str(), Figure(simpleIni > 0 ? loadSave / simpleIni : 0).c_str(),
                    Figure(memory[file.label]).c_str());
    }
    const auto find = [&](size_t megabytes, bool unicode) -> const BenchFile& {
        return *std::find_if(files.begin(), files.end(), [&](const BenchFile& file) {
            return file.megabytes == megabytes && file.unicode == unicode;
        });
    };
    // How many times as long 100 MB takes as 10 MB.
    const auto growth = [&](const char* benchmark, bool unicode) {
        return results.Seconds(benchmark, find(100, unicode)) / results.Seconds(benchmark, find(10, unicode));
    };
    for (const bool unicode : {false, true}) {
        std::printf("linearity %s: 100 MB takes %.1f times as long as 10 MB to load, %.1f times to load and save\n",
                    unicode ? "utf16" : "ansi", growth("load", unicode), growth("load+save", unicode));
    }
    const BenchFile& ten = find(10, false);
    const double load = results.Rate("load", ten);
    const double loadSave = results.Rate("load+save", ten);
    const double simpleIni = results.Rate("simpleini load+save", ten);
    const double inih = results.Rate("inih parse", ten);
    std::printf("document-bench 10MB ansi: load %.1f MB/s, load+save %.1f MB/s, simpleini load+save %.1f MB/s, inih "
                "parse %.1f MB/s, raw copy %.1f MB/s, peak memory %.1f x file size; load %.1f x inih, load+save %.1f x "
                "simpleini (processor time %.1f x), utf16 peak memory %.1f x file size, 100MB/10MB load %.1f ansi "
                "%.1f utf16, load+save %.1f ansi %.1f utf16\n",
                load, loadSave, simpleIni, inih, results.Rate("raw copy", ten), memory[ten.label], load / inih,
                loadSave / simpleIni,
                results.CpuSeconds("simpleini load+save", ten) / results.CpuSeconds("load+save", ten),
                memory[find(10, true).label], growth("load", false), growth("load", true), growth("load+save", false),
                growth("load+save", true));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], kPeakMemoryFlag) == 0)
        return MeasurePeakMemory(argv[2]);

    benchmark::Initialize(&argc, argv);
    const auto folder = std::filesystem::temp_directory_path() / ("document-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::vector<BenchFile> files;
    for (const size_t megabytes : {1, 10, 100}) {
        files.push_back(MakeFile(folder, megabytes, false));
        files.push_back(MakeFile(folder, megabytes, true));
    }
    const CraftedSection section = MakeCraftedSection(folder);
    RegisterBenchmarks(files, section);

    CollectingReporter results;
    benchmark::RunSpecifiedBenchmarks(&results);
    benchmark::Shutdown();
    PrintCraftedSection(section, results);
    PrintSummary(files, results);

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
