#include "shell/shell_system.h"

#include "link/command_interpreter.h"
#include "link/login_code_file.h"
#include "link/reply_sender.h"
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
  if (!config_.report) config_.report = [](std::string_view) {};
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

  // The zones file takes the seat before any network client can.
  if (config_.zonesFile) seat_.tryClaim(ClientKind::kFile);

  lifecycle("start-up: link");
  LinkEvents& events = *this;
  link_ = std::make_unique<TcpLink>(services_.sockets, events, config_.port,
                                    config_.listenAddress, &seat_);
  if (config_.verbose) link_->setProtocolTrace(verboseTrace_.callback());
  webLink_ = std::make_unique<WebClientLink>(seat_, events);
  if (config_.verbose) webLink_->setProtocolTrace(verboseTrace_.callback());
  clientLinks_ = std::make_unique<ClientLinks>(*link_, webLink_.get());
  if (config_.zonesFile) {
    zonesFileClient_ = std::make_unique<ZonesFileClient>(config_.zonesFilePath, config_.report);
    clientLinks_->setFileClient(zonesFileClient_.get());
  }
  replies_ = std::make_unique<ReplySender>(*clientLinks_, *zoneQueries_, display_, *overlay_);
  // The outputs of every detection pass: the client, the setup page's
  // tally, then OSC and MQTT, which also get the reply sender's motion
  // amounts and status texts.
  controller_.eventSinks().add(*replies_);
  controller_.eventSinks().add(hitTally_);
  startEventOutputs();

  CommandOptions options;
  options.windowLocator = services_.windowLocator;
  options.lanBrowser = services_.lanBrowser;
  options.codeFilePath = codeFilePath_;
  options.fallbackCodeFilePath = config_.fallbackCodeFilePath;
  interpreter_ = std::make_unique<CommandInterpreter>(*clientLinks_, controller_, *replies_,
                                                      display_, *overlay_, options);
  interpreter_->setLoginChanged(MemberCallback<>::bind(this, &ShellSystem::onLoginChanged));

  runZonesFile();

  if (config_.webPort && services_.makeSetupServer != nullptr) {
    lifecycle("start-up: web server");
    setupView_ = std::make_unique<SetupView>(controller_, *this, hitTally_);
    web_ = services_.makeSetupServer(*webLink_);
    web_->trustClientOrigins(config_.webOrigins);
    if (!web_->start(webAddress(), *config_.webPort, webError_)) web_.reset();
  } else if (config_.webPort) {
    webError_ = "this program has no web server";
  }
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
  controller_.eventSinks().remove(hitTally_);
  if (replies_) controller_.eventSinks().remove(*replies_);
  if (osc_) controller_.eventSinks().remove(*osc_);
  if (mqtt_) controller_.eventSinks().remove(*mqtt_);
  lifecycle("shut-down: cameras");
  // Only once detection no longer sends hits: a send may be on its way to
  // the server's wake-up.
  web_.reset();
  lifecycle("shut-down: web server");
  link_.reset();
  lifecycle("shut-down: link");
  interpreter_.reset();
  lifecycle("shut-down: interpreter");
  // No pass and no tick reaches them any more; the broker hears "offline".
  osc_.reset();
  mqtt_.reset();
  replies_.reset();
  clientLinks_.reset();
  webLink_.reset();
  lifecycle("shut-down: replies");
}

void ShellSystem::startEventOutputs() {
  std::vector<EventOutput*> outputs;
  if (!config_.oscReceivers.empty()) {
    std::vector<std::unique_ptr<DatagramSender>> receivers;
    for (const ShellConfig::OscReceiver& receiver : config_.oscReceivers) {
      std::string error = "this program has no UDP sender";
      std::unique_ptr<DatagramSender> sender =
          services_.makeDatagramSender != nullptr
              ? services_.makeDatagramSender(receiver.host, receiver.port, error)
              : nullptr;
      if (!sender) {
        outputError_ = "--osc " + receiver.host + ":" + std::to_string(receiver.port) + ": " + error;
        return;
      }
      receivers.push_back(std::move(sender));
    }
    lifecycle("start-up: OSC output");
    osc_ = std::make_unique<OscOutput>(*replies_, std::move(receivers));
    outputs.push_back(osc_.get());
  }
  if (config_.mqtt) {
    if (services_.makeMqttConnection == nullptr) {
      outputError_ = "--mqtt: this program has no MQTT output";
      return;
    }
    lifecycle("start-up: MQTT output");
    mqtt_ = std::make_unique<MqttOutput>(
        *replies_, *config_.mqtt,
        services_.makeMqttConnection(MqttOutput::connectionSettings(*config_.mqtt)),
        config_.report);
    outputs.push_back(mqtt_.get());
  }
  for (EventOutput* output : outputs) controller_.eventSinks().add(*output);
  replies_->setEventOutputs(std::move(outputs));
}

void ShellSystem::runZonesFile() {
  if (!zonesFileClient_) return;
  lifecycle("start-up: zones file");
  zonesFileClient_->run(*interpreter_, *config_.zonesFile);
  replies_->endOutputTick();
  // The file is the client: capture runs as it does for one.
  cameras_->startCapture();
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

bool ShellSystem::webListening() const { return web_ != nullptr; }

std::string ShellSystem::webAddress() const {
  // Never every address: the page shows the camera.
  const std::uint32_t value = config_.listenAddress.value;
  if (value == kEveryAddress.value) return "127.0.0.1";
  return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xff) + "." +
         std::to_string((value >> 8) & 0xff) + "." + std::to_string(value & 0xff);
}

std::uint16_t ShellSystem::webPort() const {
  return web_ ? web_->port() : config_.webPort.value_or(0);
}

bool ShellSystem::loggedIn() const { return interpreter_ && interpreter_->isLoggedIn(); }

void ShellSystem::onLoginChanged() {
  lifecycle(loggedIn() ? "client logged in" : "client logged out");
  loginChanged_();
}

void ShellSystem::pollCommands() {
  if (!interpreter_) return;
  interpreter_->poll();
  // After the tick's commands, so a login that came in time counts.
  if (loginDeadline_.passed(interpreter_->isLoggedIn())) {
    lifecycle("login deadline passed: client disconnected");
    replies_->sendError(kLoginDeadlineText);
    clientLinks_->disconnect();
  }
}

void ShellSystem::tickPauseTimers() { controller_.tickPauseTimers(); }

void ShellSystem::sendMotionEvents() {
  if (!replies_) return;
  replies_->motionPass();
  // The tick's status texts and motion amounts leave the outputs together.
  replies_->endOutputTick();
}

bool ShellSystem::hasClient() { return clientLinks_ && clientLinks_->isConnected(); }

bool ShellSystem::hasViewers() { return web_ && web_->watching(); }

void ShellSystem::feedViewers() {
  if (!web_ || !setupView_) return;
  web_->publish(setupView_->makeUpdate(SetupClientState{clientLinks_->connectedKind(), loggedIn()}));
}

void ShellSystem::startCapture() { cameras_->startCapture(); }

void ShellSystem::stopCapture() { cameras_->stopCapture(); }

void ShellSystem::presentOverlay() { overlay_->overlayPresent(); }

void ShellSystem::trackWatchedWindow() {
  if (mqtt_ && config_.mqtt->discovery) {
    // Now and then, not per frame: the broker's sensors follow the zones.
    std::vector<std::string> names;
    for (const VideoController::ZoneView& zone : controller_.zoneViews()) {
      names.emplace_back(zone.record.name.view());
    }
    mqtt_->zonesNow(names);
  }
  ::tessary::trackWatchedWindow(display_, *overlay_, services_.windowLocator);
}

void ShellSystem::selectCamera(int index) { cameras_->selectCamera(index); }

PictureFrame ShellSystem::currentPicture() const {
  return PictureFrame{cameras_->frameBuffer(),
                      Orientation{.mirrored = cameras_->mirrored() != display_.overlayMirror,
                                  .flipped = cameras_->flipped() != display_.overlayFlip}};
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
