// Speed of the text handling that runs on the user-interface thread for every chunk the unit
// sends and for every image: cleaning received bytes, the identification, image validation,
// and reading a setting.
#include "app/IniFile.h"
#include "device/DeviceIdentity.h"
#include "device/FirmwareImage.h"
#include "device/ReceivedText.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>

namespace {

void BM_CleanReceivedChunk(benchmark::State& state)
{
    std::string bytes(200, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    for (auto _ : state)
        benchmark::DoNotOptimize(CleanReceivedBytes(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 200);
}
BENCHMARK(BM_CleanReceivedChunk);

void BM_AssembleIdentification(benchmark::State& state)
{
    const std::string text =
        ".KX410BL 0208010004103039000000000000000000000000000000000000000000000000";
    for (auto _ : state) {
        std::string buffer;
        DeviceIdentity id;
        IdentificationScan scan;
        for (size_t i = 0; i < text.size(); i += 8) {
            AppendReceivedChunk(buffer, std::string_view(text).substr(i, 8));
            scan = FindIdentification(buffer);
        }
        if (scan.bComplete)
            benchmark::DoNotOptimize(ParseIdentification(buffer.substr(scan.pos), id));
    }
}
BENCHMARK(BM_AssembleIdentification);

void BM_ValidateImage(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    FirmwareImage source;
    source.m_lines.push_back("VER:0105");
    source.m_lines.push_back("PID:0410");
    source.m_lines.push_back("INFO:" + std::string(300, 'n'));
    for (int i = 0; i < lines; ++i)
        source.m_lines.push_back(":10000000" + std::string(32, 'A') + "00");
    source.m_lines.push_back(":0000000119");
    source.m_lines.push_back("");
    for (auto _ : state) {
        FirmwareImage image = source;
        benchmark::DoNotOptimize(CheckImage(image, "kx410"));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * lines);
}
BENCHMARK(BM_ValidateImage)->Arg(1000)->Arg(100000);

void BM_ReadSetting(benchmark::State& state)
{
    const std::string path = "/tmp/kx-bench-settings.ini";
    {
        std::ofstream out(path);
        out << "[Settings]\nLAST DIRECTORY=" << std::string(2000, 'd') << "\nCOM PORT=USB\n";
    }
    CIniFile ini;
    ini.SetPath(path.c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(ini.GetString("Settings", "LAST DIRECTORY"));
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadSetting);

} // namespace

BENCHMARK_MAIN();
