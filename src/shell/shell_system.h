// Everything the program runs, built and taken down in a fixed order, with
// the work of the two ticks and of the tray menu. No Qt here: the host owns
// the event loop, the timers and the windows, and calls in.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/member_callback.h"
#include "display/display_state.h"
#include "display/picture_source.h"
#include "link/client_slot.h"
#include "link/datagram_sender.h"
#include "link/login_deadline.h"
#include "link/mqtt_output.h"
#include "link/osc_output.h"
#include "link/setup_view.h"
#include "link/tcp_link.h"
#include "link/web_client_link.h"
#include "link/zones_file.h"
#include "shell/camera_side.h"
#include "shell/tick_loop.h"
#include "shell/tray_model.h"
#include "shell/verbose_trace.h"
#include "zones/video_controller.h"

namespace tessary {

class CommandInterpreter;
class LanBrowser;
class ReplySender;
class SocketApi;
class WindowLocator;
class VideoControllerZoneQueries;

struct ShellConfig {
  std::uint16_t port = TcpLink::kDefaultPort;
  Ipv4Address listenAddress = kEveryAddress;
  std::string codeFilePath;  // empty: the default code file
  std::string fallbackCodeFilePath;  // read while the code file does not exist
  bool verbose = false;
  // The setup page and the WebSocket client; no web server when empty. It
  // listens on listenAddress when that names one address, else on 127.0.0.1.
  std::optional<std::uint16_t> webPort;
  // Origins whose pages may be a WebSocket client besides the server's own.
  std::vector<std::string> webOrigins;
  // A client that has not logged in this long after taking the seat loses
  // it; 0: never.
  std::chrono::milliseconds loginTimeout = LoginDeadline::kDefaultTimeout;

  // An installation's own client: the zones file's path and statement lines.
  // With it, the file holds the client seat and capture runs from start-up.
  std::string zonesFilePath;
  std::optional<std::vector<ZonesFileLine>> zonesFile;
  // Where the client's events also go: OSC receivers, an MQTT broker.
  struct OscReceiver {
    std::string host;
    std::uint16_t port = 0;
  };
  std::vector<OscReceiver> oscReceivers;
  std::optional<MqttOutputSettings> mqtt;
  // Start-up and output lines for standard error ("tessary: " is added).
  std::function<void(std::string_view)> report;
};

// The platform services the system uses; all must outlive it. The locator and
// the LAN browser may be null.
struct ShellServices {
  SocketApi& sockets;
  WindowLocator* windowLocator = nullptr;
  const LanBrowser* lanBrowser = nullptr;
  // The setup page's server; null: the platform has none.
  SetupServerFactory makeSetupServer = nullptr;
  // The event outputs' transports; null: the platform has none.
  DatagramSenderFactory makeDatagramSender = nullptr;
  MqttConnectionFactory makeMqttConnection = nullptr;
};

// Makes the camera half for the system's controller; null means no cameras.
using CameraSideFactory = std::function<std::unique_ptr<CameraSide>(VideoController&)>;

class ShellSystem final : public ShellSteps,
                          public TrayController,
                          public PictureSource,
                          private LinkEvents {
 public:
  ShellSystem(ShellConfig config, ShellServices services, const CameraSideFactory& makeCameras);
  ~ShellSystem();
  ShellSystem(const ShellSystem&) = delete;
  ShellSystem& operator=(const ShellSystem&) = delete;

  // The overlay to drive (before start(); it must outlive the system). Without
  // one the system shows no picture.
  void setOverlay(OverlayControl& overlay) { overlay_ = &overlay; }

  // Start-up from the screen size on: the render area, the cameras and the
  // client scale, the overlay, the link, the reply sender, the interpreter.
  void start(std::int32_t screenWidth, std::int32_t screenHeight);
  // After the host has stopped its timers: the overlay, the cameras, then the
  // link, the interpreter and the reply sender. Safe to call twice.
  void shutDown();

  TickLoop& ticks() { return ticks_; }
  // Whether start-up found and opened at least one camera.
  bool camerasReady() const { return camerasReady_; }
  bool listening() const;
  std::uint16_t port() const;
  // Why the link is not listening, in the platform's words, e.g. "Address
  // already in use".
  std::string linkErrorText() const;
  // The setup page's server: whether this program has one, whether it
  // listens, where, and why not.
  bool hasWebServer() const { return services_.makeSetupServer != nullptr; }
  bool webListening() const;
  std::uint16_t webPort() const;
  std::string webAddress() const;
  const std::string& webErrorText() const { return webError_; }
  // Why an event output asked for could not be made; empty when all were.
  const std::string& outputErrorText() const { return outputError_; }
  const std::string& codeFilePath() const { return codeFilePath_; }
  bool loggedIn() const;  // false before start-up
  // Called after every change of the login state, on the main thread.
  void setLoginChanged(MemberCallback<> callback) { loginChanged_ = callback; }

  VideoController& controller() { return controller_; }
  DisplayState& display() { return display_; }

  // ShellSteps.
  void pollCommands() override;
  void tickPauseTimers() override;
  void sendMotionEvents() override;
  bool hasClient() override;
  void startCapture() override;
  void stopCapture() override;
  void presentOverlay() override;
  void trackWatchedWindow() override;
  bool hasViewers() override;
  void feedViewers() override;

  // TrayController.
  const char* cameraName(int index) override { return cameras_->cameraName(index); }
  int currentCameraIndex() override { return cameras_->currentCameraIndex(); }
  bool cameraAbsent(int index) override { return cameras_->cameraAbsent(index); }
  void selectCamera(int index) override;
  // The tray's Mirror and Flip are the settings that "mirror" and "flip" make
  // and "get_mirror" and "get_flip" report: one truth for the user and the
  // client, reset when the client goes away.
  bool mirrored() override { return display_.overlayMirror; }
  bool flipped() override { return display_.overlayFlip; }
  void toggleMirror() override { display_.overlayMirror = !display_.overlayMirror; }
  void toggleFlip() override { display_.overlayFlip = !display_.overlayFlip; }

  // PictureSource: the newest frame, drawn as the camera's usual view with
  // the mirror and flip settings on top.
  PictureFrame currentPicture() const override;

 private:
  // LinkEvents.
  void clientConnected() override;
  void clearAllZones() override;
  void resetReplies() override;
  void logOut() override;
  void resetBlendFactors() override;

  void onLoginChanged();
  void startEventOutputs();
  void runZonesFile();
  void lifecycle(std::string_view event) const;

  ShellConfig config_;
  ShellServices services_;
  NullOverlayControl noOverlay_;
  OverlayControl* overlay_ = &noOverlay_;
  std::string codeFilePath_;
  DisplayState display_;
  VideoController controller_;
  std::unique_ptr<CameraSide> cameras_;
  std::unique_ptr<VideoControllerZoneQueries> zoneQueries_;
  VerboseTrace verboseTrace_;
  TickLoop ticks_{*this};
  MemberCallback<> loginChanged_;
  bool started_ = false;
  bool camerasReady_ = false;
  bool shutDown_ = false;

  // The one client seat (TCP, WebSocket or the zones file), the time its
  // holder has to log in, and the hits the setup page shows.
  ClientSlot seat_;
  LoginDeadline loginDeadline_{seat_, config_.loginTimeout};
  HitTally hitTally_;
  std::string webError_;
  std::string outputError_;

  // The event outputs, sinks of the controller's passes fed by the reply
  // sender too: made after it, taken down before it; and the zones file.
  std::unique_ptr<OscOutput> osc_;
  std::unique_ptr<MqttOutput> mqtt_;
  std::unique_ptr<ZonesFileClient> zonesFileClient_;

  // Built in this order at start-up and destroyed in the same order (the web
  // server is stopped first).
  std::unique_ptr<TcpLink> link_;
  std::unique_ptr<WebClientLink> webLink_;
  std::unique_ptr<ClientLinks> clientLinks_;
  std::unique_ptr<ReplySender> replies_;
  std::unique_ptr<CommandInterpreter> interpreter_;
  std::unique_ptr<SetupView> setupView_;
  std::unique_ptr<SetupServer> web_;
};

}  // namespace tessary
