#include "shell/dialogs.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

#include "shell/code_file.h"
#include "shell/dialog_geometry.h"
#include "shell/help_text.h"

#ifndef TESSARY_VERSION
#define TESSARY_VERSION "unknown"
#endif

namespace tessary {

void centreDialog(QDialog& dialog) {
  QScreen* screen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect desktop = screen->geometry();
  QRect work = screen->availableGeometry();
  std::optional<ScreenBox> workArea;
  if (work.isValid()) workArea = ScreenBox{work.x(), work.y(), work.width(), work.height()};
  ScreenPoint at = centredDialogPosition(
      dialog.width(), dialog.height(),
      ScreenBox{desktop.x(), desktop.y(), desktop.width(), desktop.height()}, workArea);
  dialog.move(at.x, at.y);
}

// --- Enter New Code ---------------------------------------------------------

CodeDialog::CodeDialog(std::string codeFilePath, bool createParent, QWidget* parent)
    : QDialog(parent), codeFilePath_(std::move(codeFilePath)), createParent_(createParent) {
  setWindowTitle("Enter New Code");
  setModal(true);
  auto* label = new QLabel("New Code", this);
  edit_ = new QLineEdit(this);
  edit_->setMaxLength(kMaxCodeLength);
  edit_->setMinimumWidth(220);
  label->setBuddy(edit_);

  auto* ok = new QPushButton("OK", this);
  auto* cancel = new QPushButton("Cancel", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CodeDialog::onOk);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(edit_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
}

void CodeDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  centreDialog(*this);
}

void CodeDialog::onOk() {
  QByteArray code = edit_->text().toUtf8();
  if (!writeCodeFile(codeFilePath_, std::string_view(code.constData(), code.size()),
                     createParent_)) {
    // The dialog stays open, so the user can retry or cancel.
    QMessageBox::critical(parentWidget(), "Error",
                          QString::fromStdString(codeFileErrorText(codeFilePath_)),
                          QMessageBox::Ok);
    return;
  }
  accept();
}

// --- Help -------------------------------------------------------------------

HelpDialog::HelpDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Help");
  setModal(true);
  text_ = new QPlainTextEdit(this);
  std::string_view help = helpText();
  text_->setPlainText(QString::fromUtf8(help.data(), static_cast<qsizetype>(help.size())));
  text_->setReadOnly(true);
  text_->setTextInteractionFlags(Qt::NoTextInteraction);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->installEventFilter(this);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addWidget(buttons);
  resize(720, 520);
}

void HelpDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  centreDialog(*this);
}

bool HelpDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched != text_ || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  // The text scrolls with the arrow and page keys; every other key is
  // swallowed so nothing can be changed or selected, except those that close
  // the dialog.
  QScrollBar* bar = text_->verticalScrollBar();
  switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Up: bar->triggerAction(QAbstractSlider::SliderSingleStepSub); return true;
    case Qt::Key_Down: bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); return true;
    case Qt::Key_PageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); return true;
    case Qt::Key_PageDown: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); return true;
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return false;
    default: return true;
  }
}

// --- About ------------------------------------------------------------------

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About Tessary");
  setModal(true);
  setFixedSize(400, 160);
}

void AboutDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  centreDialog(*this);
}

void AboutDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height());
  sky.setColorAt(0, QColor(32, 44, 64));
  sky.setColorAt(1, QColor(16, 22, 34));
  painter.fillRect(rect(), sky);

  // A 4 x 4 grid of zones with one lit, as on the tray icon.
  const QRectF grid(20, 24, 112, 112);
  const qreal cell = grid.width() / 4;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      QRectF box(grid.x() + column * cell + 3, grid.y() + row * cell + 3, cell - 6, cell - 6);
      bool lit = column == 2 && row == 1;
      painter.fillRect(box, lit ? QColor(255, 170, 40) : QColor(52, 68, 94));
    }
  }
  painter.setPen(QPen(QColor(230, 236, 245), 7));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(grid.center(), 30, 30);
  painter.setBrush(QColor(230, 236, 245));
  painter.drawEllipse(grid.center(), 9, 9);

  painter.setPen(QColor(240, 244, 250));
  QFont title = font();
  title.setPointSize(20);
  title.setBold(true);
  painter.setFont(title);
  painter.drawText(QRectF(150, 30, 240, 36), Qt::AlignLeft | Qt::AlignVCenter, "Tessary");
  QFont body = font();
  body.setPointSize(9);
  painter.setFont(body);
  painter.setPen(QColor(190, 200, 215));
  painter.drawText(QRectF(150, 70, 240, 70), Qt::AlignLeft | Qt::TextWordWrap,
                   QString("Version %1\nYour webcam as motion-sensitive zones.\n\nClick to close.")
                       .arg(TESSARY_VERSION));
}

void AboutDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) accept();
}

void AboutDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: accept(); return;
    default: QDialog::keyPressEvent(event);
  }
}

}  // namespace tessary
