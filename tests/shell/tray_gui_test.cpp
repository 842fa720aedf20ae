// The tray icon, its menu and the dialogs, driven in-process under a private
// Xvfb with a tray host. The program's own tray, its dialogs and their
// screenshots, on Linux and on Windows, are in tray_screens_test.cpp.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/posix_sockets.h"
#include "shell/dialogs.h"
#include "shell/shell_host.h"
#include "shell/shell_system.h"
#include "shell/tray_icon.h"
#include "shell/tray_model.h"
#include "support/test_client.h"
#include "support/xvfb_session.h"

namespace tessary {
namespace {

using namespace tessary::testing;

class FakeCameras final : public TrayController {
 public:
  const char* cameraName(int index) override {
    return index >= 0 && index < static_cast<int>(names.size()) ? names[index].c_str() : nullptr;
  }
  int currentCameraIndex() override { return current; }
  bool cameraAbsent(int index) override { return index == absent; }
  void selectCamera(int index) override {
    selected.push_back(index);
    if (index < static_cast<int>(names.size())) current = index;
  }
  bool mirrored() override { return mirror; }
  bool flipped() override { return flip; }
  void toggleMirror() override { mirror = !mirror; }
  void toggleFlip() override { flip = !flip; }

  std::vector<std::string> names;
  std::vector<int> selected;
  int current = 0;
  int absent = -1;
  bool mirror = true, flip = false;
};

// The menu's entries: "-" for a separator, "*" after a checked one.
QStringList entries(QMenu& menu) {
  QStringList result;
  for (QAction* action : menu.actions()) {
    result << (action->isSeparator() ? "-" : action->text() + (action->isChecked() ? "*" : ""));
  }
  return result;
}

QPushButton* button(QWidget& parent, const QString& text) {
  for (QPushButton* candidate : parent.findChildren<QPushButton*>()) {
    if (candidate->text().remove('&') == text) return candidate;
  }
  return nullptr;
}

// Runs `work` on the modal widget of type T as soon as one is open.
template <typename T>
void whenModal(std::function<void(T&)> work) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, work] {
    if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      work(*widget);
    }
  });
  timer->start();
}

class TrayGuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    runtime_ = new TempFolder;  // Qt wants a private runtime folder
    setenv("XDG_RUNTIME_DIR", runtime_->path().c_str(), 1);
    session_ = new XvfbSession;
    ASSERT_TRUE(session_->start(true)) << "Xvfb and wmdocker are needed";
    static int argc = 1;
    static char name[] = "tessary_gui_tests";
    static char* argv[] = {name, nullptr};
    application_ = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }
  static void TearDownTestSuite() {
    delete application_;
    delete session_;
    delete runtime_;
  }

  TrayOptions options(std::string codeFile) {
    TrayOptions result;
    result.codeFilePath = std::move(codeFile);
    result.readme = QUrl::fromLocalFile("/docs/README.md");
    result.protocol = QUrl::fromLocalFile("/docs/protocol.md");
    result.openUrl = [this](const QUrl& url) {
      opened_.push_back(url);
      return true;
    };
    return result;
  }

  static inline TempFolder* runtime_ = nullptr;
  static inline XvfbSession* session_ = nullptr;
  static inline QApplication* application_ = nullptr;
  std::vector<QUrl> opened_;
  TempFolder folder_;
};

// The tip follows the client's login. The tray's Mirror and Flip and the
// client's mirror() and flip() are one setting: each sees what the other
// made, and the picture follows it.
TEST_F(TrayGuiTest, TipMirrorAndFlipFollowTheClient) {
  std::string codeFile = folder_.file("code.dat");
  ASSERT_TRUE(writeFile(codeFile, "s3cret"));
  PosixSockets sockets;
  ShellConfig config;
  config.port = 0;
  config.codeFilePath = codeFile;
  ShellSystem system(config, ShellServices{sockets}, nullptr);
  TrayIcon tray(system, options(codeFile));
  ShellHost host(system, &tray, nullptr);
  tray.add(false);
  system.start(1024, 768);
  host.startTimers();
  ASSERT_TRUE(system.listening());
  EXPECT_TRUE(QTest::qWaitFor([&] { return session_->dockedIcons() == 1; }, 5000))
      << "the icon is embedded in the tray host";
  // The ticks run in our event loop, so it must turn while we wait.
  auto tipIs = [&](const QString& tip) { return QTest::qWaitFor([&] { return tray.icon().toolTip() == tip; }, 5000); };
  EXPECT_TRUE(tipIs("Orrinview - Not logged in"));
  // The camera's usual view: mirrored like a looking glass, upright.
  const PictureFrame usual = system.currentPicture();
  emit tray.menu().aboutToShow();
  EXPECT_EQ(entries(tray.menu()).mid(3, 2), (QStringList{"&Mirror", "&Flip"}));

  TestClient client;
  ASSERT_TRUE(client.connect(system.port()));
  auto received = [&client](const std::string& wanted) {
    return QTest::qWaitFor(
        [&] {
          client.collect(10ms);
          return std::count(client.seen().begin(), client.seen().end(), wanted) > 0;
        },
        5000);
  };
  client.send("login(s3cret)");
  EXPECT_TRUE(tipIs("Orrinview - Logged in"));
  client.send("login(wrong)");  // logs the client out
  EXPECT_TRUE(tipIs("Orrinview - Not logged in"));
  client.send("login(s3cret);mirror(true);get_mirror();get_flip()");
  EXPECT_TRUE(received("<mirror status=\"true\">"));
  EXPECT_TRUE(received("<flip status=\"false\">"));
  EXPECT_TRUE(tipIs("Orrinview - Logged in"));
  emit tray.menu().aboutToShow();
  EXPECT_EQ(entries(tray.menu()).mid(3, 2), (QStringList{"&Mirror*", "&Flip"}));
  EXPECT_NE(system.currentPicture().turn.mirrored, usual.turn.mirrored);

  tray.runCommand(kCommandMirror);
  tray.runCommand(kCommandFlip);
  client.send("get_mirror();get_flip()");
  EXPECT_TRUE(received("<mirror status=\"false\">"));
  EXPECT_TRUE(received("<flip status=\"true\">"));
  EXPECT_EQ(system.currentPicture().turn.mirrored, usual.turn.mirrored);
  EXPECT_NE(system.currentPicture().turn.flipped, usual.turn.flipped);

  // The client's settings and login end with it, and so do the tray's.
  client.close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !system.flipped(); }, 5000));
  EXPECT_EQ(system.currentPicture().turn.flipped, usual.turn.flipped);
  EXPECT_TRUE(tipIs("Orrinview - Not logged in"));
  host.stopTimers();
  system.shutDown();
}

TEST_F(TrayGuiTest, MenuHoldsTheItemsWithTheirChecks) {
  FakeCameras cameras;
  cameras.names = {"Front", "Back", "Side", "Top", "Fifth"};
  cameras.current = 1;
  TrayIcon tray(cameras, options(folder_.file("code.dat")));
  EXPECT_EQ(entries(tray.cameraMenu()), QStringList{"tmp"});
  // The cameras of the first opening, at most four, stay for the whole run.
  emit tray.menu().aboutToShow();
  cameras.names.insert(cameras.names.begin(), "Late");
  EXPECT_EQ(entries(tray.menu()), (QStringList{"Enter New &Code", "-", "Ca&mera", "&Mirror*", "&Flip", "-",
                                               "&WWW", "&About", "&Help", "-", "E&xit"}));
  EXPECT_EQ(entries(tray.cameraMenu()), (QStringList{"Front", "Back*", "Side", "Top"}));

  QList<QAction*> items = tray.menu().actions();
  items[3]->trigger();
  items[4]->trigger();
  tray.cameraMenu().actions()[2]->trigger();
  emit tray.menu().aboutToShow();
  EXPECT_TRUE(!cameras.mirror && cameras.flip);
  EXPECT_EQ(cameras.selected, std::vector<int>{2});
  EXPECT_EQ(entries(tray.menu()).mid(3, 2), (QStringList{"&Mirror", "&Flip*"}));
  EXPECT_EQ(entries(tray.cameraMenu()), (QStringList{"Front", "Back", "Side*", "Top"}));
  // A lost camera is marked while it is tried again, and no longer once it is back.
  cameras.absent = 2;
  emit tray.menu().aboutToShow();
  EXPECT_EQ(entries(tray.cameraMenu()), (QStringList{"Front", "Back", "Side (absent)*", "Top"}));
  cameras.absent = -1;
  emit tray.menu().aboutToShow();
  EXPECT_EQ(entries(tray.cameraMenu()), (QStringList{"Front", "Back", "Side*", "Top"}));

  // The WWW submenu names and opens our two documents.
  QMenu* web = items[6]->menu();
  ASSERT_NE(web, nullptr);
  EXPECT_EQ(entries(*web), (QStringList{"file:///docs/README.md", "file:///docs/protocol.md"}));
  web->actions()[1]->trigger();
  EXPECT_EQ(opened_, std::vector<QUrl>{QUrl::fromLocalFile("/docs/protocol.md")});
  // Documents that are not installed are named, not pointed at.
  TrayOptions bare = options(folder_.file("code.dat"));
  bare.readme = QUrl();
  bare.protocol = QUrl();
  TrayIcon uninstalled(cameras, std::move(bare));
  QMenu* missing = uninstalled.menu().actions()[6]->menu();
  EXPECT_EQ(entries(*missing), (QStringList{"README.md (not installed)", "protocol.md (not installed)"}));
  EXPECT_FALSE(missing->actions()[0]->isEnabled());
  // Camera commands stay within the four slots.
  cameras.selected.clear();
  for (int command : {32999, 33000, 33003, 33004}) runTrayCommand(command, cameras);
  EXPECT_EQ(cameras.selected, (std::vector<int>{0, 3}));

  // Without a camera: one entry that does nothing and is never checked.
  FakeCameras none;
  TrayIcon empty(none, options(folder_.file("code.dat")));
  emit empty.menu().aboutToShow();
  empty.cameraMenu().actions()[0]->trigger();
  emit empty.menu().aboutToShow();
  EXPECT_EQ(entries(empty.cameraMenu()), QStringList{"<No camera detected>"});
  EXPECT_TRUE(none.selected.empty());
}

// Writing, cancelling and the message box's title are checked with the
// program in tray_screens_test.cpp; here the message box's text.
TEST_F(TrayGuiTest, ACodeFileThatCannotBeWrittenIsNamedAndTheDialogStays) {
  FakeCameras cameras;
  // A file that cannot be written: "Error", and the dialog stays for Cancel.
  std::string nowhere = folder_.file("missing/code.dat");
  TrayIcon broken(cameras, options(nowhere));
  QString error;
  bool stayedOpen = false;
  whenModal<CodeDialog>([&](CodeDialog& dialog) {
    QTest::keyClicks(dialog.codeEdit(), "x");
    whenModal<QMessageBox>([&, code = &dialog](QMessageBox& box) {
      error = box.windowTitle() + ": " + box.text();
      box.accept();
      QTimer::singleShot(50, [&, code] {
        stayedOpen = code->isVisible();
        button(*code, "Cancel")->click();
      });
    });
    button(dialog, "OK")->click();
  });
  broken.runCommand(kCommandEnterCode);
  EXPECT_EQ(error, QString::fromStdString("Error: Cannot open " + nowhere + " for writing."));
  EXPECT_TRUE(stayedOpen);
}

TEST_F(TrayGuiTest, HelpScrollsButCannotBeChangedAndAboutClosesOnClickOrKey) {
  HelpDialog help;
  help.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
  QPlainTextEdit* view = help.textView();
  QString before = view->toPlainText();
  EXPECT_TRUE(before.contains("add(name,x,y,w,h)"));
  QTest::keyClicks(view, "abc");
  QTest::keyClick(view, Qt::Key_Delete);
  EXPECT_EQ(view->toPlainText(), before);
  QTest::keyClick(view, Qt::Key_PageDown);
  EXPECT_GT(view->verticalScrollBar()->value(), 0);

  for (bool byKey : {false, true}) {
    AboutDialog about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    if (byKey) QTest::keyClick(&about, Qt::Key_Return);
    if (!byKey) QTest::mouseClick(&about, Qt::RightButton);
    EXPECT_FALSE(about.isVisible()) << byKey;
  }
}

}  // namespace
}  // namespace tessary
