// The desktop portal's file chooser on the session bus, through libdbus.
//
// Sections: small owners of libdbus objects; the bus connection (address,
// Hello with a time bound); building the call's options; reading the
// Response signal; file URIs; the call itself.
#include "platform/dialogs.h"

#include <dbus/dbus.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/codepage.h"
#include "platform/platform.h"

namespace nova::platform {

namespace fs = std::filesystem;

namespace {

// A hung bus or portal must not hang the player: every call that waits for
// a reply gives up after this long. The first call may start the portal
// service, which takes longer than an ordinary reply.
constexpr int kCallTimeoutMs = 3000;
constexpr int kActivatingCallTimeoutMs = 8000;

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kFileChooser = "org.freedesktop.portal.FileChooser";
constexpr const char* kRequest = "org.freedesktop.portal.Request";

// Why the portal cannot serve this dialog; the caller tries the next way.
struct Unavailable {
  std::string reason;
};

struct Error {
  DBusError e;
  Error() { dbus_error_init(&e); }
  ~Error() { dbus_error_free(&e); }
  Error(const Error&) = delete;
  Error& operator=(const Error&) = delete;
  bool set() const { return dbus_error_is_set(&e); }
  std::string text() const { return std::string(e.name ? e.name : "?") + ": " + (e.message ? e.message : ""); }
};

class Message {
 public:
  explicit Message(DBusMessage* m = nullptr) : m_m(m) {}
  ~Message() {
    if (m_m) dbus_message_unref(m_m);
  }
  Message(Message&& other) noexcept : m_m(std::exchange(other.m_m, nullptr)) {}
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;
  Message& operator=(Message&&) = delete;
  DBusMessage* get() const { return m_m; }

 private:
  DBusMessage* m_m;
};

class Connection {
 public:
  explicit Connection(DBusConnection* c) : m_c(c) {}
  ~Connection() {
    dbus_connection_close(m_c);
    dbus_connection_unref(m_c);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  DBusConnection* get() const { return m_c; }

 private:
  DBusConnection* m_c;
};

Message new_call(const char* destination, const char* path, const char* interface, const char* member) {
  Message m(dbus_message_new_method_call(destination, path, interface, member));
  if (!m.get()) throw Unavailable{"out of memory building a bus call"};
  return m;
}

// Sends and waits at most `timeout_ms` for the reply; an error reply or no
// reply makes the portal unavailable.
Message call(DBusConnection* c, const Message& m, int timeout_ms) {
  Error err;
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(c, m.get(), timeout_ms, &err.e);
  if (!reply) throw Unavailable{err.set() ? err.text() : "no reply"};
  return Message(reply);
}

void append_string(DBusMessageIter* it, const std::string& s) {
  const char* p = s.c_str();
  if (!dbus_message_iter_append_basic(it, DBUS_TYPE_STRING, &p)) throw Unavailable{"out of memory"};
}

// The bus takes only valid UTF-8 in strings (libdbus aborts on anything
// else), and host text need not be.
std::string bus_text(const std::string& utf8) {
  return dbus_validate_utf8(utf8.c_str(), nullptr) ? utf8 : std::string();
}

// --- The connection ------------------------------------------------------------

std::string session_bus_address() {
  const char* env = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (env && *env) return env;
  // The systemd user bus, where the variable is not passed on. Without it
  // there is no session bus: libdbus would otherwise try to launch one.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) {
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st{};
    if (::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
      char* escaped = dbus_address_escape_value(socket.c_str());
      if (escaped) {
        std::string address = std::string("unix:path=") + escaped;
        dbus_free(escaped);
        return address;
      }
    }
  }
  return {};
}

// A private connection, registered with a bounded Hello (dbus_bus_register
// would wait for libdbus's default of 25 seconds).
std::unique_ptr<Connection> connect() {
  const std::string address = session_bus_address();
  if (address.empty()) throw Unavailable{"no session bus"};
  dbus_threads_init_default();
  Error err;
  DBusConnection* raw = dbus_connection_open_private(address.c_str(), &err.e);
  if (!raw) throw Unavailable{"session bus " + address + ": " + err.text()};
  auto c = std::make_unique<Connection>(raw);
  dbus_connection_set_exit_on_disconnect(c->get(), FALSE);
  Message hello = new_call(kBusName, kBusPath, kBusName, "Hello");
  Message reply = call(c->get(), hello, kCallTimeoutMs);
  const char* name = nullptr;
  Error args;
  if (!dbus_message_get_args(reply.get(), &args.e, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID) ||
      !dbus_bus_set_unique_name(c->get(), name)) {
    throw Unavailable{"the session bus gave no name"};
  }
  return c;
}

void add_match(DBusConnection* c, const std::string& rule) {
  Message m = new_call(kBusName, kBusPath, kBusName, "AddMatch");
  DBusMessageIter it;
  dbus_message_iter_init_append(m.get(), &it);
  append_string(&it, rule);
  call(c, m, kCallTimeoutMs);
}

// The FileChooser interface's version property; 0 when it cannot be read.
std::uint32_t chooser_version(DBusConnection* c) {
  Message m = new_call(kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get");
  DBusMessageIter it;
  dbus_message_iter_init_append(m.get(), &it);
  append_string(&it, kFileChooser);
  append_string(&it, "version");
  Message reply = call(c, m, kActivatingCallTimeoutMs);
  DBusMessageIter r, v;
  if (!dbus_message_iter_init(reply.get(), &r) || dbus_message_iter_get_arg_type(&r) != DBUS_TYPE_VARIANT) return 0;
  dbus_message_iter_recurse(&r, &v);
  if (dbus_message_iter_get_arg_type(&v) != DBUS_TYPE_UINT32) return 0;
  dbus_uint32_t version = 0;
  dbus_message_iter_get_basic(&v, &version);
  return version;
}

// --- The options a{sv} -------------------------------------------------------

class Options {
 public:
  explicit Options(DBusMessageIter* args) {
    if (!dbus_message_iter_open_container(args, DBUS_TYPE_ARRAY, "{sv}", &m_dict)) throw Unavailable{"out of memory"};
    m_args = args;
  }
  void close() { dbus_message_iter_close_container(m_args, &m_dict); }

  void add_string(const char* key, const std::string& value) {
    entry(key, "s", [&](DBusMessageIter* v) { append_string(v, value); });
  }
  void add_bool(const char* key, bool value) {
    entry(key, "b", [&](DBusMessageIter* v) {
      dbus_bool_t b = value ? TRUE : FALSE;
      dbus_message_iter_append_basic(v, DBUS_TYPE_BOOLEAN, &b);
    });
  }
  // A path as the portal takes it: its bytes and a closing NUL.
  void add_path_bytes(const char* key, const std::string& bytes) {
    entry(key, "ay", [&](DBusMessageIter* v) {
      DBusMessageIter array;
      dbus_message_iter_open_container(v, DBUS_TYPE_ARRAY, "y", &array);
      const std::string with_nul = bytes + '\0';
      const char* p = with_nul.data();
      dbus_message_iter_append_fixed_array(&array, DBUS_TYPE_BYTE, &p, static_cast<int>(with_nul.size()));
      dbus_message_iter_close_container(v, &array);
    });
  }
  // Each filter is (name, [(0, glob)...]): kind 0 marks a glob pattern.
  void add_filters(const char* key, const std::vector<FileFilter>& filters) {
    entry(key, "a(sa(us))", [&](DBusMessageIter* v) {
      DBusMessageIter list;
      dbus_message_iter_open_container(v, DBUS_TYPE_ARRAY, "(sa(us))", &list);
      for (const FileFilter& f : filters) {
        DBusMessageIter filter, patterns;
        dbus_message_iter_open_container(&list, DBUS_TYPE_STRUCT, nullptr, &filter);
        append_string(&filter, bus_text(f.description));
        dbus_message_iter_open_container(&filter, DBUS_TYPE_ARRAY, "(us)", &patterns);
        for (const std::string& p : f.patterns) {
          DBusMessageIter pair;
          dbus_message_iter_open_container(&patterns, DBUS_TYPE_STRUCT, nullptr, &pair);
          dbus_uint32_t glob = 0;
          dbus_message_iter_append_basic(&pair, DBUS_TYPE_UINT32, &glob);
          append_string(&pair, bus_text(p));
          dbus_message_iter_close_container(&patterns, &pair);
        }
        dbus_message_iter_close_container(&filter, &patterns);
        dbus_message_iter_close_container(&list, &filter);
      }
      dbus_message_iter_close_container(v, &list);
    });
  }

 private:
  template <class Fill>
  void entry(const char* key, const char* signature, Fill fill) {
    DBusMessageIter e, v;
    dbus_message_iter_open_container(&m_dict, DBUS_TYPE_DICT_ENTRY, nullptr, &e);
    dbus_message_iter_append_basic(&e, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&e, DBUS_TYPE_VARIANT, signature, &v);
    fill(&v);
    dbus_message_iter_close_container(&e, &v);
    dbus_message_iter_close_container(&m_dict, &e);
  }

  DBusMessageIter* m_args = nullptr;
  DBusMessageIter m_dict{};
};

// --- The answer ----------------------------------------------------------------

struct Response {
  std::uint32_t code = 2;
  std::optional<std::string> first_uri;
};

// Response (u response, a{sv} results); results["uris"] is an array of
// strings. Anything of another shape counts as ended otherwise (2).
Response read_response(DBusMessage* m) {
  Response out;
  DBusMessageIter it;
  if (!dbus_message_iter_init(m, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_UINT32) return out;
  dbus_uint32_t code = 2;
  dbus_message_iter_get_basic(&it, &code);
  out.code = code;
  if (!dbus_message_iter_next(&it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY) return out;
  DBusMessageIter dict;
  dbus_message_iter_recurse(&it, &dict);
  for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&dict)) {
    DBusMessageIter entry, value, uris;
    dbus_message_iter_recurse(&dict, &entry);
    if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING) continue;
    const char* key = nullptr;
    dbus_message_iter_get_basic(&entry, &key);
    if (std::string_view(key) != "uris" || !dbus_message_iter_next(&entry) ||
        dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_VARIANT) {
      continue;
    }
    dbus_message_iter_recurse(&entry, &value);
    if (dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_ARRAY) continue;
    dbus_message_iter_recurse(&value, &uris);
    if (dbus_message_iter_get_arg_type(&uris) != DBUS_TYPE_STRING) continue;
    const char* uri = nullptr;
    dbus_message_iter_get_basic(&uris, &uri);
    out.first_uri = uri;
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string request_path(DBusConnection* c, const std::string& token) {
  // The portal names the request after the caller's unique name (":1.42"
  // becomes "1_42") and the token, so the answer can be listened for
  // before the call is made.
  std::string sender = dbus_bus_get_unique_name(c);
  if (!sender.empty() && sender.front() == ':') sender.erase(0, 1);
  for (char& ch : sender) {
    if (ch == '.') ch = '_';
  }
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

void close_request(DBusConnection* c, const std::string& handle, const FileDialogSpec& spec) {
  try {
    Message m = new_call(kPortalName, handle.c_str(), kRequest, "Close");
    call(c, m, kCallTimeoutMs);
  } catch (const Unavailable& u) {
    if (spec.log) spec.log("file dialog: the portal did not close its dialog: " + u.reason);
  }
}

std::string response_rule(const std::string& handle) {
  return "type='signal',interface='" + std::string(kRequest) + "',member='Response',path='" + handle + "'";
}

}  // namespace

std::optional<fs::path> file_uri_to_path(std::string_view uri) {
  constexpr std::string_view scheme = "file://";
  if (uri.size() < scheme.size() || !codepage::equal_ignore_case(uri.substr(0, scheme.size()), scheme)) {
    return std::nullopt;
  }
  std::string_view rest = uri.substr(scheme.size());
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && !codepage::equal_ignore_case(host, "localhost")) return std::nullopt;
  rest.remove_prefix(slash);
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '?' || rest[i] == '#') return std::nullopt;
    if (rest[i] != '%') {
      path.push_back(rest[i]);
      continue;
    }
    if (i + 2 >= rest.size()) return std::nullopt;
    const int hi = hex_digit(rest[i + 1]);
    const int lo = hex_digit(rest[i + 2]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
    path.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return fs::path(path);
}

PortalAnswer run_portal_file_dialog(Platform& platform, int kind, const FileDialogSpec& spec, const fs::path& start) {
  PortalAnswer answer;
  try {
    std::unique_ptr<Connection> bus = connect();
    DBusConnection* c = bus->get();
    if (kind == 2) {
      const std::uint32_t version = chooser_version(c);
      if (version < 3) throw Unavailable{"the portal's file chooser (version " + std::to_string(version) +
                                         ") cannot pick folders"};
    }

    static std::atomic<unsigned> serial{0};
    const std::string token = "nova" + std::to_string(::getpid()) + "_" + std::to_string(++serial);
    std::string handle = request_path(c, token);
    add_match(c, response_rule(handle));
    // The portal going away while its dialog is open ends the wait.
    add_match(c, "type='signal',sender='" + std::string(kBusName) + "',member='NameOwnerChanged',arg0='" +
                     kPortalName + "'");

    Message m = new_call(kPortalName, kPortalPath, kFileChooser, kind == 1 ? "SaveFile" : "OpenFile");
    DBusMessageIter args;
    dbus_message_iter_init_append(m.get(), &args);
    std::string parent;
    if (spec.owner && platform.display_driver() == "x11") {
      if (const std::uint64_t xid = spec.owner->native_handle()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "x11:%llx", static_cast<unsigned long long>(xid));
        parent = buf;
      }
    }
    append_string(&args, parent);
    append_string(&args, bus_text(codepage::to_utf8(spec.title)));
    Options options(&args);
    options.add_string("handle_token", token);
    options.add_bool("modal", true);
    if (kind == 2) options.add_bool("directory", true);
    if (kind != 2) {
      const std::vector<FileFilter> filters = parse_file_filter(spec.filter);
      if (!filters.empty()) options.add_filters("filters", filters);
    }
    options.add_path_bytes("current_folder", start.string());
    if (kind == 1) options.add_string("current_name", "");
    options.close();

    Message reply = call(c, m, kActivatingCallTimeoutMs);
    const char* returned = nullptr;
    Error args_error;
    if (!dbus_message_get_args(reply.get(), &args_error.e, DBUS_TYPE_OBJECT_PATH, &returned, DBUS_TYPE_INVALID)) {
      throw Unavailable{"the portal answered without a request handle"};
    }
    if (handle != returned) {
      // An older portal chooses its own handle; listen there too.
      handle = returned;
      add_match(c, response_rule(handle));
    }

    for (;;) {
      while (DBusMessage* raw = dbus_connection_pop_message(c)) {
        Message in(raw);
        if (dbus_message_is_signal(raw, kRequest, "Response") && dbus_message_get_path(raw) &&
            handle == dbus_message_get_path(raw)) {
          const Response r = read_response(raw);
          if (r.code != 0 || !r.first_uri) {
            answer.outcome = PortalOutcome::Cancelled;
            return answer;
          }
          if (auto path = file_uri_to_path(*r.first_uri)) {
            answer.outcome = PortalOutcome::Chosen;
            answer.path = *path;
          } else {
            answer.outcome = PortalOutcome::Cancelled;
            answer.reason = "the portal's answer is not a local file: " + *r.first_uri;
          }
          return answer;
        }
        if (dbus_message_is_signal(raw, "org.freedesktop.DBus", "NameOwnerChanged")) {
          const char *name = nullptr, *old_owner = nullptr, *new_owner = nullptr;
          Error e;
          if (dbus_message_get_args(raw, &e.e, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING, &old_owner,
                                    DBUS_TYPE_STRING, &new_owner, DBUS_TYPE_INVALID) &&
              std::string_view(new_owner).empty()) {
            answer.outcome = PortalOutcome::Cancelled;
            answer.reason = "the portal went away while its dialog was open";
            return answer;
          }
        }
      }
      Event e;
      while (platform.poll_event(e)) {
        if (e.type == EventType::Close) {
          close_request(c, handle, spec);
          // The dialog gives way; the main loop still gets its close.
          platform.requeue_quit();
          answer.outcome = PortalOutcome::Cancelled;
          return answer;
        }
      }
      if (!dbus_connection_read_write(c, 50)) {
        answer.outcome = PortalOutcome::Cancelled;
        answer.reason = "the session bus went away while the portal's dialog was open";
        return answer;
      }
    }
  } catch (const Unavailable& u) {
    answer.outcome = PortalOutcome::Unavailable;
    answer.reason = u.reason;
  }
  return answer;
}

}  // namespace nova::platform
