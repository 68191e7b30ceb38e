#include "batch/batch_runner.h"
#include "batch/card_record.h"
#include "batch/csv_source.h"
#include "common/settings_store.h"
#include "common/text.h"
#include "render/magick.h"
#include "support/test_support.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <numeric>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace torvale {
namespace {

using test::folderContent;
using test::readFile;
using test::TempDir;
using test::writeFile;

namespace fs = std::filesystem;

class RecordingListener : public BatchListener {
public:
    void log(const std::string& message) override { logs.push_back(message); }
    void batchTotal(std::size_t total) override { totals.push_back(total); }
    void batchStep(std::size_t n) override
    {
        steps.push_back(n);
        if (onStep)
            onStep(n);
    }
    void cardWritten(std::size_t, const std::string& path) override { written.push_back(path); }
    void csvUnreadable(const std::string& path) override { unreadable.push_back(path); }

    std::function<void(std::size_t)> onStep;
    std::vector<std::string> logs;
    std::vector<std::size_t> totals;
    std::vector<std::size_t> steps;
    std::vector<std::string> written;
    std::vector<std::string> unreadable;
};

// A JPEG or PNG file that is whole: its end marker is there and the image library decodes it.
bool isCompletePicture(const std::string& bytes)
{
    const bool jpeg = bytes.size() > 4 && bytes.compare(0, 2, "\xFF\xD8") == 0 &&
                      bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") == 0;
    const std::string pngEnd("IEND\xAE\x42\x60\x82", 8);
    const bool png = bytes.size() > 16 && bytes.compare(1, 3, "PNG") == 0 &&
                     bytes.compare(bytes.size() - pngEnd.size(), pngEnd.size(), pngEnd) == 0;
    if (!jpeg && !png)
        return false;
    MagickWandPtr wand(NewMagickWand());
    return MagickReadImageBlob(wand.get(), bytes.data(), bytes.size()) != MagickFalse;
}

Layer placedLayer(LayerType type, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                  const std::string& column)
{
    Layer layer = makeLayer(type, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    layer.x = x;
    layer.y = y;
    layer.width = w;
    layer.height = h;
    layer.bind_col_name = column;
    layer.fontSize = 10;
    return layer;
}

class BatchRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tpl.background.width = 64;
        tpl.background.height = 40;
        tpl.output.outputFolder = out.path().string();
        tpl.output.file_name_bind_col_name = "name";
        writePicture("red.png", "#FF0000");
        writePicture("blue.png", "#0000FF");
    }

    // A text layer bound to "id" and a picture layer bound to "photo".
    void addLayers()
    {
        tpl.layers.push_back(placedLayer(LayerType::Picture, 2, 2, 20, 30, "photo"));
        tpl.layers.push_back(placedLayer(LayerType::Text, 24, 5, 38, 20, "id"));
        renumberLayers(tpl.layers);
    }

    void writePicture(const std::string& name, const char* color)
    {
        MagickWandPtr wand = newCanvas(30, 20, color);
        ASSERT_TRUE(wand);
        ASSERT_NE(MagickWriteImage(wand.get(), dir.file(name).c_str()), MagickFalse);
    }

    void writeCsv(const std::string& text) { writeFile(dir.file("data.csv"), text); }

    BatchSummary run(unsigned jobs = 1)
    {
        BatchOptions options;
        options.tpl = tpl;
        options.dpi = 96;
        options.csvPath = dir.file("data.csv");
        options.fonts = test::sharedTestFonts();
        options.jobs = jobs;
        return runBatch(options, listener, stop);
    }

    // A fresh batch, as the editor and the command-line tool start one.
    BatchSummary runFresh(unsigned jobs = 1)
    {
        stop.store(false);
        return run(jobs);
    }

    TempDir dir;
    TempDir out;
    Template tpl;
    RecordingListener listener;
    std::atomic<bool> stop{false};
};

TEST_F(BatchRunnerTest, StopRequestedBeforeTheWorkerStartsIsKept)
{
    writeCsv("name,photo\nA,red.png\nB,red.png\n");
    stop.store(true);
    const BatchSummary summary = run(2);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.written, 0u);
}

TEST_F(BatchRunnerTest, BlankRowsMakeNoCard)
{
    addLayers();
    writeCsv("id,name,photo\n1,A,red.png\n , ,\t\n3,B,\n");
    const BatchSummary summary = runFresh();
    EXPECT_EQ(listener.totals, std::vector<std::size_t>{2});
    EXPECT_EQ(listener.steps, (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(summary.total, 2u);
    EXPECT_EQ(summary.written, 2u);
    EXPECT_FALSE(summary.stopped);
    const auto files = folderContent(out.path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(files.count("A.jpg"));
    EXPECT_TRUE(files.count("B.jpg"));
    EXPECT_TRUE(listener.logs.empty());
}

TEST_F(BatchRunnerTest, EmptyOrMissingCsv)
{
    const struct {
        const char* label;
        std::optional<std::string> csv;
        bool stopped;
    } cases[] = {
        {"header only", "id,name,photo\n", false},
        {"empty file", "", false},
        {"missing file", std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove(dir.file("data.csv"));
        if (c.csv)
            writeCsv(*c.csv);
        listener = RecordingListener();
        const BatchSummary summary = runFresh(2);
        EXPECT_EQ(summary.total, 0u);
        EXPECT_EQ(summary.written, 0u);
        EXPECT_EQ(summary.stopped, c.stopped);
        EXPECT_EQ(summary.csvUnreadable, !c.csv.has_value());
        EXPECT_EQ(stop.load(), c.stopped);
        EXPECT_EQ(listener.unreadable.size(), c.csv ? 0u : 1u);
        EXPECT_TRUE(listener.steps.empty());
        EXPECT_TRUE(folderContent(out.path()).empty());
    }
}

TEST_F(BatchRunnerTest, SameFilesWhateverTheNumberOfJobs)
{
    addLayers();
    // Four names over 30 rows, so most cards get a "(n)"; the id makes every card different,
    // so equal bytes under one name also mean the numbering follows row order.
    std::string csv = "id,name,photo\n";
    const std::string photos[] = {dir.file("red.png"), dir.file("blue.png"), ""};
    for (int i = 1; i <= 30; ++i)
        csv += formatText("%d,N%d,%s\n", i, i % 4, photos[i % 3].c_str());
    writeCsv(csv);

    const struct {
        const char* label;
        OutputFormat format;
        bool png8;
        const char* lastName;
    } formats[] = {
        {"JPG", OutputFormat::Jpg, false, "N0(7).jpg"},
        {"PNG", OutputFormat::Png, false, "N0(7).png"},
        {"PNG-8", OutputFormat::Png, true, "N0(7).png"},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.label);
        tpl.output.format = f.format;
        tpl.output.isSaveToPng8 = f.png8;
        tpl.output.colorCount = 16;
        std::map<std::string, std::string> reference;
        for (unsigned jobs : {1u, 2u, 4u}) {
            SCOPED_TRACE(jobs);
            TempDir folder;
            tpl.output.outputFolder = folder.path().string();
            const BatchSummary summary = runFresh(jobs);
            EXPECT_EQ(summary.written, 30u);
            EXPECT_FALSE(summary.stopped);
            const auto files = folderContent(folder.path());
            EXPECT_EQ(files.size(), 30u);
            EXPECT_TRUE(files.count(f.lastName));
            if (jobs == 1)
                reference = files;
            else
                EXPECT_TRUE(files == reference);
        }
    }
}

TEST_F(BatchRunnerTest, ExistingFilesAreNeverOverwritten)
{
    writeCsv("id,name,photo\n1,N,\n2,N,\n3,N,\n");
    writeFile(out.file("N.jpg"), "first");
    writeFile(out.file("N(3).jpg"), "third");
    const BatchSummary summary = runFresh(2);
    EXPECT_EQ(summary.written, 3u);
    const auto files = folderContent(out.path());
    EXPECT_EQ(files.size(), 5u);
    EXPECT_EQ(files.at("N.jpg"), "first");
    EXPECT_EQ(files.at("N(3).jpg"), "third");
    for (const char* name : {"N(2).jpg", "N(4).jpg", "N(5).jpg"})
        EXPECT_TRUE(files.count(name) && isCompletePicture(files.at(name))) << name;
}

TEST_F(BatchRunnerTest, StopDuringACardEndsTheBatch)
{
    addLayers();
    std::string csv = "id,name,photo\n";
    for (int i = 1; i <= 20; ++i)
        csv += formatText("%d,C%02d,%s\n", i, i, dir.file("red.png").c_str());
    writeCsv(csv);
    for (unsigned jobs : {1u, 4u}) {
        SCOPED_TRACE(jobs);
        TempDir folder;
        tpl.output.outputFolder = folder.path().string();
        listener = RecordingListener();
        listener.onStep = [this](std::size_t n) {
            if (n == 5)
                stop.store(true);
        };
        const BatchSummary summary = runFresh(jobs);
        EXPECT_TRUE(summary.stopped);
        EXPECT_EQ(listener.steps.back(), 5u);
        // Cards 1 to 4 remain; card 5 only if it was drawn before the request; none after it.
        const auto files = folderContent(folder.path());
        EXPECT_GE(files.size(), 4u);
        EXPECT_LE(files.size(), 5u);
        for (const auto& [name, bytes] : files) {
            EXPECT_LE(name, "C05.jpg");
            EXPECT_NE(name.rfind(".torvale-", 0), 0u) << name;
            EXPECT_TRUE(isCompletePicture(bytes)) << name;
        }
    }
}

TEST_F(BatchRunnerTest, WriteFailures)
{
    // A PNG-8 write failure ends the batch; a plain PNG write failure is logged and the batch
    // goes on.
    writeCsv("id,name,photo\n1,A,\n2,B,\n3,C,\n4,D,\n5,E,\n");
    tpl.output.format = OutputFormat::Png;
    tpl.output.outputFolder = out.file("gone");
    const struct {
        bool png8;
        const char* logged;
        bool stopped;
        std::size_t lines;
    } cases[] = {
        {true, "fopen() error: ", true, 1},
        {false, "写入文件 '", false, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.png8);
        tpl.output.isSaveToPng8 = c.png8;
        listener = RecordingListener();
        const BatchSummary summary = runFresh(2);
        EXPECT_EQ(summary.stopped, c.stopped);
        EXPECT_EQ(summary.written, 0u);
        ASSERT_EQ(listener.logs.size(), c.lines);
        for (const auto& line : listener.logs)
            EXPECT_NE(line.find(c.logged), std::string::npos) << line;
        EXPECT_NE(listener.logs[0].find(out.file("gone/A.png")), std::string::npos);
    }
}

TEST_F(BatchRunnerTest, ARecordThatCannotBeWrittenIsLoggedOnceAndTheCardsAreMade)
{
    writeCsv("id,name,photo\n1,A,\n2,B,\n3,C,\n");
    // A FIFO without a reader would hold up a writer that waited for one.
    ASSERT_EQ(mkfifo(cardRecordPath(out.path().string()).c_str(), 0600), 0);
    const BatchSummary summary = runFresh(2);
    EXPECT_EQ(summary.written, 3u);
    EXPECT_EQ(folderContent(out.path()).size(), 3u);
    ASSERT_EQ(listener.logs.size(), 1u);
    EXPECT_NE(listener.logs[0].find(kCardRecordFileName), std::string::npos) << listener.logs[0];
}

TEST_F(BatchRunnerTest, LogLinesComeInRowOrder)
{
    addLayers();
    // Line 4 has two cells instead of three; every other row names a picture that is missing.
    std::string csv = "id,name,photo\n1,A,missing-1.png\n2,B,missing-2.png\nx,y\n";
    for (int i = 3; i <= 12; ++i)
        csv += formatText("%d,N%d,missing-%d.png\n", i, i, i);
    writeCsv(csv);
    const BatchSummary summary = runFresh(4);
    EXPECT_EQ(summary.total, 12u);
    EXPECT_EQ(summary.written, 12u);
    std::vector<std::string> expected = {
        formatText(kMsgRowSkipped, std::size_t{3}, std::size_t{4}, std::size_t{2}, std::size_t{3})};
    // Each names its card.
    for (int i = 1; i <= 12; ++i)
        expected.push_back(formatText("无效图片:missing-%d.png（%s）\n", i,
                                      i == 1   ? "A"
                                      : i == 2 ? "B"
                                               : formatText("N%d", i).c_str()));
    EXPECT_EQ(listener.logs, expected);
    std::vector<std::size_t> steps(12);
    std::iota(steps.begin(), steps.end(), std::size_t{1});
    EXPECT_EQ(listener.steps, steps);
}

TEST_F(BatchRunnerTest, LargeCsvStopsOnRequest)
{
    tpl.background.width = 10;
    tpl.background.height = 10;
    tpl.output.format = OutputFormat::Png;
    std::string csv = "name\n";
    for (int i = 0; i < 100000; ++i)
        csv += formatText("r%d\n", i);
    writeCsv(csv);
    listener.onStep = [this](std::size_t n) {
        if (n == 50)
            stop.store(true);
    };
    const BatchSummary summary = runFresh(2);
    EXPECT_EQ(summary.total, 100000u);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(listener.steps.back(), 50u);
    const std::size_t files = folderContent(out.path()).size();
    EXPECT_GE(files, 49u);
    EXPECT_LE(files, 50u);
}

} // namespace
} // namespace torvale
