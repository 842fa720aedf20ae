#include "shell/tray_icon.h"

#include <QDesktopServices>

#include "shell/dialogs.h"

// The icon lives in a resource compiled into this static library. Nothing in
// the program refers to the resource's own registration, so the linker would
// drop it and leave every icon empty (an all-black square in the tray) unless
// it is registered by hand. The macro must stand outside any namespace.
static void registerTessaryResources() { Q_INIT_RESOURCE(tessary); }

namespace tessary {

QIcon tessaryIcon() {
  static const bool registered = (registerTessaryResources(), true);
  static_cast<void>(registered);
  return QIcon(":/tessary/tessary.png");
}

TrayIcon::TrayIcon(TrayController& controller, TrayOptions options, QObject* parent)
    : QObject(parent), controller_(controller), options_(std::move(options)), menu_(new QMenu) {
  if (!options_.openUrl) options_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  menu_->setTitle("Tray");

  auto addCommand = [this](QMenu& menu, const QString& text, int command) {
    QAction* action = menu.addAction(text);
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    return action;
  };

  for (const TrayMenuItem& item : trayMenuItems()) {
    QString text = QString::fromUtf8(item.text.data(), static_cast<qsizetype>(item.text.size()));
    switch (item.kind) {
      case TrayItemKind::kSeparator: menu_->addSeparator(); break;
      case TrayItemKind::kCameraSubmenu: cameraMenu_ = menu_->addMenu(text); break;
      case TrayItemKind::kWebSubmenu: {
        QMenu* web = menu_->addMenu(text);
        // An installed document is named by its address; a missing one says
        // so and cannot be chosen.
        auto addDocument = [&](const QUrl& url, const QString& name, int command) {
          QAction* action = addCommand(*web, url.isEmpty() ? name + " (not installed)" : url.toString(), command);
          action->setEnabled(!url.isEmpty());
        };
        addDocument(options_.readme, "README.md", kCommandOpenReadme);
        addDocument(options_.protocol, "protocol.md", kCommandOpenProtocol);
        break;
      }
      case TrayItemKind::kCommand: {
        QAction* action = addCommand(*menu_, text, item.command);
        if (item.command == kCommandMirror) mirrorAction_ = action;
        if (item.command == kCommandFlip) flipAction_ = action;
        break;
      }
    }
  }
  mirrorAction_->setCheckable(true);
  flipAction_->setCheckable(true);
  buildCameraMenu();

  connect(menu_.get(), &QMenu::aboutToShow, this, &TrayIcon::prepareMenu);
  icon_.setIcon(tessaryIcon());
  icon_.setContextMenu(menu_.get());
  updateTip(false);
}

TrayIcon::~TrayIcon() {
  icon_.setContextMenu(nullptr);
  icon_.hide();
}

void TrayIcon::add(bool loggedIn) {
  updateTip(loggedIn);
  icon_.show();
}

void TrayIcon::remove() { icon_.hide(); }

void TrayIcon::updateTip(bool loggedIn) {
  std::string_view tip = trayTipText(loggedIn);
  icon_.setToolTip(QString::fromUtf8(tip.data(), static_cast<qsizetype>(tip.size())));
}

void TrayIcon::buildCameraMenu() {
  cameraMenu_->clear();
  for (const CameraMenuEntry& entry : cameras_.entries()) {
    QAction* action = cameraMenu_->addAction(QString::fromStdString(entry.text));
    int command = entry.command;
    action->setData(command);
    action->setCheckable(true);
    action->setChecked(entry.checked);
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
  }
}

void TrayIcon::prepareMenu() {
  bool wasFilled = cameras_.filled();
  cameras_.fillOnce(controller_);
  cameras_.updateChecks(controller_);
  if (!wasFilled) {
    buildCameraMenu();
  } else {
    const auto& entries = cameras_.entries();
    QList<QAction*> actions = cameraMenu_->actions();
    for (qsizetype i = 0; i < actions.size() && i < static_cast<qsizetype>(entries.size()); ++i) {
      actions[i]->setChecked(entries[static_cast<std::size_t>(i)].checked);
      actions[i]->setText(QString::fromStdString(entries[static_cast<std::size_t>(i)].text));
    }
  }
  mirrorAction_->setChecked(controller_.mirrored());
  flipAction_->setChecked(controller_.flipped());
}

void TrayIcon::runCommand(int command) {
  switch (runTrayCommand(command, controller_)) {
    case TrayAction::kNone: break;
    case TrayAction::kEnterCode: {
      CodeDialog dialog(options_.codeFilePath, options_.codeFileIsDefault);
      dialog.exec();
      break;
    }
    case TrayAction::kHelp: {
      HelpDialog dialog;
      dialog.exec();
      break;
    }
    case TrayAction::kAbout: {
      AboutDialog dialog;
      dialog.exec();
      break;
    }
    case TrayAction::kOpenReadme: options_.openUrl(options_.readme); break;
    case TrayAction::kOpenProtocol: options_.openUrl(options_.protocol); break;
    case TrayAction::kExit: emit exitRequested(); break;
  }
  // A camera entry that does nothing must not keep a check mark of its own.
  if (cameras_.filled()) {
    prepareMenu();
  }
}

}  // namespace tessary
