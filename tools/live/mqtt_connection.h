// One connection to an MQTT broker on libmosquitto's own network thread:
// it connects in the background, reconnects with a growing delay after any
// loss, and says what went wrong once per kind of trouble instead of once
// per attempt. Callbacks run on that network thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "tools/live/mqtt_options.h"

struct mosquitto;
struct mosquitto_message;

namespace korvanel::tools::live {

class MqttConnection {
 public:
  struct Will {
    std::string topic;    // empty: no last will
    std::string payload;  // retained, at QoS 1
  };
  struct Callbacks {
    std::function<void()> connected;  // after every (re)connection: subscribe, republish
    std::function<void()> lost;
    // `retained`: a stored value handed out at subscription, not news.
    std::function<void(const std::string& topic, const std::string& payload, bool retained)>
        message;
    std::function<void()> sent;  // one message of ours has left for the broker
  };

  // `name` goes into the client id and into the lines printed.
  MqttConnection(MqttUrl url, std::string caFile, int keepAlive, std::string name, Will will,
                 Callbacks callbacks);
  ~MqttConnection();
  MqttConnection(const MqttConnection&) = delete;
  MqttConnection& operator=(const MqttConnection&) = delete;

  // Starts the network thread; false with `error` set when the settings
  // cannot work at all (TLS files, out of memory). A broker that is not
  // there yet is no error: it is tried again.
  bool start(std::string& error);
  // Disconnects and joins the network thread; safe to call twice.
  void stop();

  bool connected() const { return connected_.load(); }
  // Queues a message; false when not connected (the message is dropped).
  bool publish(const std::string& topic, const std::string& payload, int qos, bool retain);
  bool subscribe(const std::string& pattern, int qos);
  // Times the connection came up, counting the first.
  uint64_t connections() const { return connections_.load(); }

 private:
  static void onConnect(mosquitto*, void* self, int code);
  static void onDisconnect(mosquitto*, void* self, int code);
  static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
  static void onPublish(mosquitto*, void* self, int mid);
  static void onLog(mosquitto*, void* self, int level, const char* text);
  void connectFirst();
  void report(const std::string& trouble);

  MqttUrl url_;
  std::string caFile_;
  int keepAlive_;
  std::string name_;
  Will will_;
  Callbacks callbacks_;
  mosquitto* client_ = nullptr;
  std::atomic<bool> running_{false};
  bool loopStarted_ = false;  // written by the connector thread, read after joining it
  std::thread connector_;
  std::mutex pauseMutex_;
  std::condition_variable pauseEnd_;
  std::atomic<bool> connected_{false};
  std::atomic<uint64_t> connections_{0};
  std::mutex reportMutex_;
  std::set<std::string> troubles_;  // told since the last connection
};

}  // namespace korvanel::tools::live
