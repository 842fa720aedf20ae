// The three dialogs of the tray menu: "Enter New Code", "Help" and "About".
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QLineEdit;
class QPlainTextEdit;

namespace tessary {

// Moves `dialog` to the centre of its screen, kept inside the work area.
void centreDialog(QDialog& dialog);

class CodeDialog final : public QDialog {
  Q_OBJECT

 public:
  // `createParent`: the default code file's folder may not exist yet.
  CodeDialog(std::string codeFilePath, bool createParent, QWidget* parent = nullptr);

  QLineEdit* codeEdit() const { return edit_; }
  static constexpr int kMaxCodeLength = 255;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void onOk();

  std::string codeFilePath_;
  bool createParent_;
  QLineEdit* edit_ = nullptr;
};

class HelpDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit HelpDialog(QWidget* parent = nullptr);
  QPlainTextEdit* textView() const { return text_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPlainTextEdit* text_ = nullptr;
};

class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace tessary
