// The viewer's side of the load-data road over one generated database: the data document read by
// pugixml alone (the reference), by the viewer's reader, through the plug-in's LoadXML, and the
// window's whole load-data command on the offscreen platform, with the text box shown afterwards.
//
//   loaddata_bench --vl_size=small|medium|large [benchmark options]
//
// One size per process: the window opens its database once, as the program does.

#include "DataLayer.h"
#include "DatabaseGenerator.h"
#include "PeakMemory.h"
#include "VLDataSDK.h"

#include "ADODB.h"
#include "Application.h"
#include "BStr.h"
#include "ClassRegistry.h"
#include "ComObject.h"
#include "Form1.h"
#include "Platform.h"
#include "ReportData.h"
#include "ReportViewIntf.h"
#include "Startup.h"
#include "Text.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

using namespace vl;

namespace
{

namespace fs = std::filesystem;
using vl::bench::DatabaseSize;

constexpr DatabaseSize Sizes[] = { { "small", 10, 50 }, { "medium", 1000, 100000 }, { "large", 10000, 1000000 } };
const DatabaseSize* g_size = &Sizes[1];

using vl::bench::peakMemory;
using vl::bench::resetPeakMemory;

void setRates(benchmark::State& state, double bytes)
{
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["MB/s"] = benchmark::Counter(bytes * iterations / 1e6, benchmark::Counter::kIsRate);
    state.counters["rows/s"] = benchmark::Counter(
        static_cast<double>(g_size->departments + g_size->employees) * iterations, benchmark::Counter::kIsRate);
    state.counters["doc_MB"] = bytes / 1e6;
    state.counters["peak_MB"] = peakMemory() / 1e6;
}

const std::string& databasePath()
{
    static const std::string path = vl::bench::cachedDatabase(VL_BENCH_DATA_DIR, *g_size);
    return path;
}

// The window's document of the database, as GetXML gives it (narrow text, UTF-8 under C.UTF-8).
const std::string& document()
{
    static const std::string xml = [] {
        vl::bench::OpenDatabase db(databasePath());
        TXMLDataSource source(nullptr);
        source.SetEncoding("GB2312");
        source.SetMaster(db.master(), "");
        source.AddDetail("Detail", db.detail(), "DeptNo=DeptNo", "");
        return source.GetXML();
    }();
    return xml;
}

void BM_PugiParse(benchmark::State& state)
{
    const std::string& xml = document();
    resetPeakMemory();
    for (auto _ : state) {
        pugi::xml_document parsed;
        const auto result = parsed.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!result)
            state.SkipWithError(result.description());
        benchmark::DoNotOptimize(parsed.first_child());
    }
    setRates(state, static_cast<double>(xml.size()));
}

void BM_ReadDataDocument(benchmark::State& state)
{
    const std::string& xml = document();
    resetPeakMemory();
    for (auto _ : state) {
        vl::ReportDataSet data;
        const vl::ParseResult result = vl::parseDataDocument(xml, data);
        if (!result.ok)
            state.SkipWithError(result.message.toStdString().c_str());
        benchmark::DoNotOptimize(data.masterRows.data());
    }
    setRates(state, static_cast<double>(xml.size()));
}

// Through the real plug-in, as the window calls it: a wide string in, the data read and laid out.
// `first`: every load into a new viewer; else into one viewer that holds the same document already,
// as a report reloaded with fresh data (the viewer then copies the text into the old one's storage).
void loadXml(benchmark::State& state, bool first)
{
    const std::string& xml = document();
    vl::setClassRegistryFolder(VL_RUN_DIR);
    vl::ComPtr<IReportView> view;
    vl::ComPtr<IReportData> data;
    auto create = [&] {
        data = vl::ComPtr<IReportData>();
        view = vl::ComPtr<IReportView>();
        if (CoCreateInstance(CLSID_ReportView, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IReportView,
                view.voidOut())
            != S_OK)
            return false;
        return view->get_ReportData(&data) == S_OK && data;
    };
    const vl::BStr text(vl::toWide(xml));
    if (!create() || (!first && data->LoadXML(text.get(), 0) != S_OK)) {
        state.SkipWithError("cannot create the viewer");
        return;
    }
    resetPeakMemory();
    for (auto _ : state) {
        if (first) {
            state.PauseTiming();
            create(); // the old viewer and its data go outside the timing
            state.ResumeTiming();
        }
        if (data->LoadXML(text.get(), 0) != S_OK)
            state.SkipWithError("LoadXML failed");
    }
    setRates(state, static_cast<double>(xml.size()));
}

void BM_LoadXML(benchmark::State& state) { loadXml(state, true); }
void BM_LoadXMLAgain(benchmark::State& state) { loadXml(state, false); }

// The window: its database is the generated one, found as "test.mdb" in the working directory.
class Window
{
public:
    Window()
    {
        m_folder = fs::temp_directory_path() / ("vl-loaddata-bench-" + std::to_string(getpid()));
        fs::create_directories(m_folder);
        fs::create_symlink(databasePath(), m_folder / "test.mdb");
        fs::current_path(m_folder);
        vl::setProgramFilePath(std::string(VL_RUN_DIR) + "/vldemo");
        vl::setClassRegistryFolder(VL_RUN_DIR);
        vl::setMessageBoxHandler(
            [this](const std::string& text, const std::string&, vl::MessageBoxIcon) { m_messages += text + "\n"; });
        static int argc = 1;
        static char name[] = "vldemo";
        static char* argv[] = { name, nullptr };
        m_app = std::make_unique<TApplication>(argc, argv);
        vl::registerStartupHooks();
        Application->Initialize();
        Application->CreateForm(Form1);
        Form1->Window()->show();
        QApplication::processEvents();
    }
    ~Window()
    {
        m_app.reset();
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    const std::string& messages() const { return m_messages; }

private:
    fs::path m_folder;
    std::string m_messages;
    std::unique_ptr<TApplication> m_app;
};

Window& window()
{
    static Window w;
    return w;
}

// The load-data command as a click runs it; the caption's milliseconds are the program's own figure.
// The longest time the window then spends in one pass of its event loop while the text page is shown
// is the freeze a user would see.
void BM_LoadDataCommand(benchmark::State& state)
{
    Window& w = window();
    (void)document();
    resetPeakMemory();
    double captionMs = 0, longestEventPassMs = 0;
    for (auto _ : state) {
        Form1->PageControl1->setCurrentIndex(0);
        QApplication::processEvents();
        Form1->Button2->click();
        if (!w.messages().empty()) {
            state.SkipWithError(w.messages().c_str());
            return;
        }
        captionMs = std::stod(Form1->Caption());
        state.PauseTiming();
        Form1->PageControl1->setCurrentIndex(1);
        double longest = 0;
        for (int pass = 0; pass < 5; ++pass) {
            QElapsedTimer timer;
            timer.start();
            QApplication::processEvents();
            Form1->Memo1->viewport()->repaint();
            longest = std::max(longest, static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        longestEventPassMs = std::max(longestEventPassMs, longest);
        state.ResumeTiming();
    }
    setRates(state, static_cast<double>(document().size()));
    state.counters["caption_ms"] = captionMs;
    state.counters["text_page_ms"] = longestEventPassMs;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--vl_size=", 10) == 0) {
            for (const DatabaseSize& size : Sizes)
                if (std::strcmp(size.name, argv[i] + 10) == 0)
                    g_size = &size;
        } else {
            rest.push_back(argv[i]);
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string suffix = std::string("/") + g_size->name;
    const bool large = std::strcmp(g_size->name, "large") == 0;
    // The window first: its application object is the one QApplication of the process.
    using Function = void (*)(benchmark::State&);
    const std::pair<const char*, Function> benchmarks[] = { { "LoadDataCommand", BM_LoadDataCommand },
        { "PugiParse", BM_PugiParse }, { "ReadDataDocument", BM_ReadDataDocument }, { "LoadXML", BM_LoadXML },
        { "LoadXMLAgain", BM_LoadXMLAgain } };
    for (const auto& [name, function] : benchmarks) {
        auto* b = benchmark::RegisterBenchmark((std::string(name) + suffix).c_str(), function);
        b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime(); // the viewer copies on a thread
        if (std::strcmp(g_size->name, "small") != 0)
            b->Iterations(large ? 1 : 3);
    }
    window();
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
