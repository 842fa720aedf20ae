#include "shell/shell_system.h"

#include "link/command_interpreter.h"
#include "link/login_code_file.h"
#include "link/reply_sender.h"
#include "link/tcp_command_source.h"
#include "link/watched_window.h"
#include "link/video_controller_zone_queries.h"

namespace tessary {

ShellSystem::ShellSystem(ShellConfig config, ShellServices services,
                         const CameraSideFactory& makeCameras)
    : config_(std::move(config)),
      services_(services),
      codeFilePath_(config_.codeFilePath.empty() ? LoginCodeFile::defaultPath()
                                                 : config_.codeFilePath),
      zoneQueries_(std::make_unique<VideoControllerZoneQueries>(controller_)) {
  if (makeCameras) cameras_ = makeCameras(controller_);
  if (!cameras_) cameras_ = std::make_unique<NoCameras>();
}

ShellSystem::~ShellSystem() { shutDown(); }

void ShellSystem::lifecycle(std::string_view event) const {
  if (config_.verbose) traceLifecycle(event);
}

void ShellSystem::start(std::int32_t screenWidth, std::int32_t screenHeight) {
  if (started_) return;
  started_ = true;

  display_.screenWidth = screenWidth;
  display_.screenHeight = screenHeight;
  display_.renderArea = display_.wholeScreen();

  lifecycle("start-up: cameras");
  camerasReady_ = cameras_->initialize() || cameras_->cameraName(0) != nullptr;
  controller_.setScale(static_cast<float>(screenWidth), static_cast<float>(screenHeight));

  lifecycle("start-up: overlay");
  // The program runs on without an overlay; the overlay reports why itself.
  overlay_->overlayInit();

  lifecycle("start-up: link");
  LinkEvents& events = *this;
  link_ = std::make_unique<TcpLink>(services_.sockets, events, config_.port,
                                    config_.listenAddress);
  if (config_.verbose) link_->setProtocolTrace(verboseTrace_.callback());
  commandSource_ = std::make_unique<TcpCommandSource>(*link_);
  replies_ = std::make_unique<ReplySender>(*link_, *zoneQueries_, display_, *overlay_);
  controller_.setZoneHitListener(replies_.get());

  CommandOptions options;
  options.windowLocator = services_.windowLocator;
  options.lanBrowser = services_.lanBrowser;
  options.codeFilePath = codeFilePath_;
  options.fallbackCodeFilePath = config_.fallbackCodeFilePath;
  interpreter_ = std::make_unique<CommandInterpreter>(*commandSource_, controller_, *replies_,
                                                      display_, *overlay_, options);
  interpreter_->setLoginChanged(MemberCallback<>::bind(this, &ShellSystem::onLoginChanged));
  lifecycle("start-up: done");
}

void ShellSystem::shutDown() {
  if (!started_ || shutDown_) return;
  shutDown_ = true;
  // No tick may run from here on, even if the host fires one more timer.
  ticks_.halt();
  lifecycle("shut-down: timers stopped");
  overlay_->overlayShutdown();
  lifecycle("shut-down: overlay");
  cameras_->shutdown();
  controller_.setZoneHitListener(nullptr);
  lifecycle("shut-down: cameras");
  link_.reset();
  commandSource_.reset();
  lifecycle("shut-down: link");
  interpreter_.reset();
  lifecycle("shut-down: interpreter");
  replies_.reset();
  lifecycle("shut-down: replies");
}

bool ShellSystem::listening() const { return link_ && link_->isListening(); }

std::uint16_t ShellSystem::port() const { return link_ ? link_->port() : config_.port; }

std::string ShellSystem::linkErrorText() const {
  if (!link_) return "not started";
  const LinkError error = link_->serverError();
  // The platform's text says it best ("Address already in use"); the step
  // that failed stands in when there is none.
  return std::string(error.text.empty() ? error.context.view() : error.text.view());
}

bool ShellSystem::loggedIn() const { return interpreter_ && interpreter_->isLoggedIn(); }

void ShellSystem::onLoginChanged() {
  lifecycle(loggedIn() ? "client logged in" : "client logged out");
  loginChanged_();
}

void ShellSystem::pollCommands() {
  if (interpreter_) interpreter_->poll();
}

void ShellSystem::tickPauseTimers() { controller_.tickPauseTimers(); }

void ShellSystem::sendMotionEvents() {
  if (replies_) replies_->motionPass();
}

bool ShellSystem::hasClient() { return link_ && link_->isConnected(); }

void ShellSystem::startCapture() { cameras_->startCapture(); }

void ShellSystem::stopCapture() { cameras_->stopCapture(); }

void ShellSystem::presentOverlay() { overlay_->overlayPresent(); }

void ShellSystem::trackWatchedWindow() {
  ::tessary::trackWatchedWindow(display_, *overlay_, services_.windowLocator);
}

void ShellSystem::selectCamera(int index) { cameras_->selectCamera(index); }

PictureFrame ShellSystem::currentPicture() const {
  return PictureFrame{cameras_->frameBuffer(), cameras_->mirrored() != display_.overlayMirror,
                      cameras_->flipped() != display_.overlayFlip};
}

// Accept thread.
void ShellSystem::clientConnected() {
  lifecycle("client connected");
  cameras_->startCapture();
}

void ShellSystem::clearAllZones() {
  lifecycle("client gone");
  controller_.clearAllZones();
}

void ShellSystem::resetReplies() {
  if (replies_) replies_->reset();
}

void ShellSystem::logOut() {
  if (interpreter_) interpreter_->logOut();
}

void ShellSystem::resetBlendFactors() { display_.blendFactors = kDefaultBlendFactors; }

}  // namespace tessary
