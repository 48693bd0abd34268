// "Запись" → "Начать запись…" never replaces a file unasked, and a start that
// fails leaves both files as they were.

#include <QAction>
#include <csignal>

#include <sys/resource.h>

#include "app/recordingui.h"
#include "record/recorder.h"
#include "tests/app/apptest.h"

using namespace uav;
using namespace uav::test;

namespace {

// Runs `action` answering the record dialog with `fileName` and every
// question with `answer`; returns the questions' texts joined by '|'.
std::string startingWith(const std::function<void()>& action, const QString& fileName,
                         QMessageBox::StandardButton answer) {
    return answeringDialogs(action, fileName, answer);
}

class RecordingFiles : public ProgramTest {
protected:
    RecordingUi& rec() { return *f().recordingUi(); }
    void stop() { rec().stopRecording(); }
};

}  // namespace

TEST_F(RecordingFiles, ANameTypedWithoutItsSuffixIsAskedAboutNamingBothFiles) {
    start();
    putFile(dir / "f1.uavrec", std::string(370, 'r'));
    putFile(dir / "f1.uavrec.csv", "old telemetry\n");
    // "f1" means f1.uavrec: the question names both files; No keeps them.
    const std::string asked = startingWith([&] { rec().startAction->trigger(); }, "f1", QMessageBox::No);
    EXPECT_EQ(asked, "Файлы «f1.uavrec» и «f1.uavrec.csv» уже существуют.\nЗаменить их новой записью?");
    EXPECT_FALSE(rec().recording());
    EXPECT_EQ(fileBytes(dir / "f1.uavrec"), std::string(370, 'r'));
    EXPECT_EQ(fileBytes(dir / "f1.uavrec.csv"), "old telemetry\n");

    // The full name gets the same single question; Yes replaces both.
    EXPECT_EQ(startingWith([&] { rec().startAction->trigger(); }, "f1.uavrec", QMessageBox::Yes), asked);
    ASSERT_TRUE(rec().recording());
    stop();
    EXPECT_EQ(fileBytes(dir / "f1.uavrec").substr(0, 6), "UAVREC");
    EXPECT_EQ(fileBytes(dir / "f1.uavrec.csv").substr(0, 4), "t_s,");

    // Only the telemetry file exists: asked all the same, naming both.
    putFile(dir / "f2.uavrec.csv", "old telemetry\n");
    EXPECT_EQ(startingWith([&] { rec().startAction->trigger(); }, "f2", QMessageBox::No),
              "Файл «f2.uavrec.csv» уже существует (файл «f2.uavrec» будет создан).\nЗаменить его новой записью?");
    EXPECT_FALSE(std::filesystem::exists(dir / "f2.uavrec"));
    EXPECT_EQ(fileBytes(dir / "f2.uavrec.csv"), "old telemetry\n");
    // A new name: no question, and the recording starts.
    EXPECT_EQ(startingWith([&] { rec().startAction->trigger(); }, "f3", QMessageBox::No), "");
    EXPECT_TRUE(rec().recording());
    stop();
    EXPECT_TRUE(std::filesystem::exists(dir / "f3.uavrec") && std::filesystem::exists(dir / "f3.uavrec.csv"));
}

// The CSV's name is a folder: the start fails naming it, with the system's
// reason, and the recording that was there is whole; a new name is not created.
TEST_F(RecordingFiles, AStartThatFailsOnTheCsvChangesNoFile) {
    start();
    putFile(dir / "g.uavrec", std::string(1000, 'g'));
    std::filesystem::create_directory(dir / "g.uavrec.csv");
    const std::string path = dir / "g.uavrec";
    EXPECT_EQ(errorOf([&] { rec().startRecording(QString::fromStdString(path)); }),
              "cannot write '" + path + ".csv': Is a directory");
    EXPECT_FALSE(rec().recording());
    EXPECT_EQ(fileBytes(dir / "g.uavrec"), std::string(1000, 'g'));
    std::filesystem::create_directory(dir / "h.uavrec.csv");
    EXPECT_NE(errorOf([&] { rec().startRecording(QString::fromStdString(dir / "h.uavrec")); }), "no error");
    EXPECT_FALSE(std::filesystem::exists(dir / "h.uavrec"));
    // Through the menu the message is shown and nothing is left behind.
    EXPECT_EQ(startingWith([&] { rec().startAction->trigger(); }, "g", QMessageBox::Yes),
              "Файлы «g.uavrec» и «g.uavrec.csv» уже существуют.\nЗаменить их новой записью?|cannot write '" +
                  path + ".csv': Is a directory");
    EXPECT_EQ(fileBytes(dir / "g.uavrec"), std::string(1000, 'g'));
    for (const auto& e : std::filesystem::directory_iterator(dir.path))
        EXPECT_EQ(e.path().filename().string().find(".uavsim-tmp."), std::string::npos) << e.path();
}

// The recorder alone: a recording's own name that is a folder, and a disk that
// fills up while the start is written, leave the old files whole.
TEST(FlightRecorderStart, FailuresLeaveBothFilesAsTheyWere) {
    TempDir dir;
    std::filesystem::create_directory(dir / "d.uavrec");
    putFile(dir / "d.uavrec.csv", "kept\n");
    const std::string d = dir / "d.uavrec";
    EXPECT_EQ(errorOf([&] { FlightRecorder r(d, RecordingStart{}); }), "cannot write '" + d + "': Is a directory");
    EXPECT_EQ(fileBytes(dir / "d.uavrec.csv"), "kept\n");

    putFile(dir / "e.uavrec", "old recording");
    putFile(dir / "e.uavrec.csv", "old telemetry");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{100, saved.rlim_max};  // the start block is several kB
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string message = errorOf([&] { FlightRecorder r(dir / "e.uavrec", RecordingStart{}); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(message.find("File too large"), std::string::npos) << message;
    EXPECT_EQ(fileBytes(dir / "e.uavrec"), "old recording");
    EXPECT_EQ(fileBytes(dir / "e.uavrec.csv"), "old telemetry");
    for (const auto& e : std::filesystem::directory_iterator(dir.path))
        EXPECT_EQ(e.path().filename().string().find(".uavsim-tmp."), std::string::npos) << e.path();
}
