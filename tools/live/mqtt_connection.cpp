// libmosquitto does the protocol, the keep-alive and the reconnecting (its
// loop thread retries with an exponential delay); this file only sets it up
// and turns its result codes into sentences.
#include "tools/live/mqtt_connection.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "tools/live/live_requests.h"

namespace korvanel::tools::live {
namespace {

constexpr int kFirstRetrySeconds = 1;
constexpr int kLastRetrySeconds = 30;
constexpr const char* kSystemCertificates = "/etc/ssl/certs";

std::once_flag libraryReady;

std::string refusal(int code) {
  std::string why = mosquitto_connack_string(code);
  while (!why.empty() && why.back() == '.') why.pop_back();
  if (code == 4 || code == 5) {
    why +=
        ": check the user name and password (--mqtt-user, mqtt-password in --config or "
        "KORVANEL_MQTT_PASSWORD)";
  }
  return why;
}

}  // namespace

MqttConnection::MqttConnection(MqttUrl url, std::string caFile, int keepAlive, std::string name,
                               Will will, Callbacks callbacks)
    : url_(std::move(url)),
      caFile_(std::move(caFile)),
      keepAlive_(keepAlive),
      name_(std::move(name)),
      will_(std::move(will)),
      callbacks_(std::move(callbacks)) {
  std::call_once(libraryReady, [] { mosquitto_lib_init(); });
}

MqttConnection::~MqttConnection() {
  stop();
  if (client_) mosquitto_destroy(client_);
}

bool MqttConnection::start(std::string& error) {
  // Two clients with one id push each other off the broker: a random tail
  // keeps two korvanel-live of one car name apart.
  std::string id = "korvanel-" + name_ + "-" + newToken().substr(0, 8);
  if (id.size() > 64) id = id.substr(id.size() - 64);
  client_ = mosquitto_new(id.c_str(), true, this);
  if (!client_) {
    error = "cannot make an MQTT client";
    return false;
  }
  mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(client_, &MqttConnection::onConnect);
  mosquitto_disconnect_callback_set(client_, &MqttConnection::onDisconnect);
  mosquitto_message_callback_set(client_, &MqttConnection::onMessage);
  mosquitto_publish_callback_set(client_, &MqttConnection::onPublish);
  mosquitto_log_callback_set(client_, &MqttConnection::onLog);
  mosquitto_reconnect_delay_set(client_, kFirstRetrySeconds, kLastRetrySeconds, true);
  int rc = MOSQ_ERR_SUCCESS;
  if (!url_.user.empty()) {
    rc = mosquitto_username_pw_set(client_, url_.user.c_str(),
                                   url_.password.empty() ? nullptr : url_.password.c_str());
  }
  if (rc == MOSQ_ERR_SUCCESS && url_.tls) {
    rc = caFile_.empty()
             ? mosquitto_tls_set(client_, nullptr, kSystemCertificates, nullptr, nullptr, nullptr)
             : mosquitto_tls_set(client_, caFile_.c_str(), nullptr, nullptr, nullptr, nullptr);
  }
  if (rc == MOSQ_ERR_SUCCESS && !will_.topic.empty()) {
    rc = mosquitto_will_set(client_, will_.topic.c_str(), static_cast<int>(will_.payload.size()),
                            will_.payload.data(), 1, true);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    error = std::string("broker settings refused: ") + mosquitto_strerror(rc);
    return false;
  }
  running_.store(true);
  connector_ = std::thread([this] { connectFirst(); });
  return true;
}

// libmosquitto's loop reconnects a connection that once got under way; a
// first attempt refused at once (no broker listening yet, a name that does
// not resolve yet) is retried here, with the same growing pauses.
void MqttConnection::connectFirst() {
  int pause = kFirstRetrySeconds;
  while (running_.load()) {
    int rc = mosquitto_connect_async(client_, url_.host.c_str(), url_.port, keepAlive_);
    if (rc == MOSQ_ERR_SUCCESS) {
      rc = mosquitto_loop_start(client_);
      if (rc == MOSQ_ERR_SUCCESS) {
        loopStarted_ = true;
      } else {
        report(std::string("cannot start the MQTT thread: ") + mosquitto_strerror(rc));
      }
      return;
    }
    report("cannot reach the broker at " + url_.host + ":" + std::to_string(url_.port) + " (" +
           mosquitto_strerror(rc) + "); trying again with growing pauses");
    std::unique_lock<std::mutex> hold(pauseMutex_);
    if (pauseEnd_.wait_for(hold, std::chrono::seconds(pause),
                           [this] { return !running_.load(); })) {
      return;
    }
    pause = std::min(pause * 2, kLastRetrySeconds);
  }
}

void MqttConnection::stop() {
  {
    std::lock_guard<std::mutex> hold(pauseMutex_);
    if (!running_.exchange(false)) return;
  }
  pauseEnd_.notify_all();
  if (connector_.joinable()) connector_.join();
  if (loopStarted_) {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
  }
  connected_.store(false);
}

bool MqttConnection::publish(const std::string& topic, const std::string& payload, int qos,
                             bool retain) {
  if (!connected_.load()) return false;
  return mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                           payload.data(), qos, retain) == MOSQ_ERR_SUCCESS;
}

bool MqttConnection::subscribe(const std::string& pattern, int qos) {
  return mosquitto_subscribe(client_, nullptr, pattern.c_str(), qos) == MOSQ_ERR_SUCCESS;
}

void MqttConnection::report(const std::string& trouble) {
  std::lock_guard<std::mutex> hold(reportMutex_);
  if (!troubles_.insert(trouble).second) return;
  std::fprintf(stderr, "korvanel-live: %s\n", trouble.c_str());
  std::fflush(stderr);
}

void MqttConnection::onConnect(mosquitto*, void* self, int code) {
  auto* c = static_cast<MqttConnection*>(self);
  std::string where = c->url_.host + ":" + std::to_string(c->url_.port);
  if (code != 0) {
    c->report("the broker at " + where + " refused the connection: " + refusal(code) +
              "; trying again with growing pauses");
    return;
  }
  c->connections_.fetch_add(1);
  c->connected_.store(true);
  {
    std::lock_guard<std::mutex> hold(c->reportMutex_);
    c->troubles_.clear();
  }
  std::printf("korvanel-live: connected to the broker at %s (%s)\n", where.c_str(),
              c->url_.tls ? "TLS" : "no TLS");
  std::fflush(stdout);
  if (c->callbacks_.connected) c->callbacks_.connected();
}

void MqttConnection::onDisconnect(mosquitto*, void* self, int code) {
  auto* c = static_cast<MqttConnection*>(self);
  bool was = c->connected_.exchange(false);
  if (was && c->callbacks_.lost) c->callbacks_.lost();
  if (was && code != 0 && c->running_) {
    c->report("lost the connection to the broker at " + c->url_.host + ":" +
              std::to_string(c->url_.port) + "; reconnecting with growing pauses");
  }
}

void MqttConnection::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* c = static_cast<MqttConnection*>(self);
  if (!c->callbacks_.message || !message->topic) return;
  std::string payload(static_cast<const char*>(message->payload),
                      message->payload ? static_cast<size_t>(message->payloadlen) : 0);
  c->callbacks_.message(message->topic, payload, message->retain);
}

void MqttConnection::onLog(mosquitto*, void* self, int level, const char* text) {
  // Only errors: a failed TLS handshake (an untrusted certificate) is told
  // nowhere else.
  if (level != MOSQ_LOG_ERR || !text) return;
  auto* c = static_cast<MqttConnection*>(self);
  c->report("broker connection: " + std::string(text) + "; trying again with growing pauses");
}

void MqttConnection::onPublish(mosquitto*, void* self, int) {
  auto* c = static_cast<MqttConnection*>(self);
  if (c->callbacks_.sent) c->callbacks_.sent();
}

}  // namespace korvanel::tools::live
