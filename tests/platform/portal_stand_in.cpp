// A stand-in for the desktop portal's file chooser on a private session bus.
//
//   portal_stand_in RECORD READY VERSION ANSWER...
//
// Owns org.freedesktop.portal.Desktop, answers the FileChooser "version"
// property with VERSION, and writes READY once it owns the name. Each
// OpenFile/SaveFile call is written to RECORD (the method, the parent
// window, the title and every option, one a line, byte arrays with \xHH
// escapes) and answered with the next ANSWER: "uri:URI" (Response 0 with
// that URI), "cancel" (Response 1), "hold" (no Response: the caller must
// close the request, which is recorded) or "error" (an error reply).
#include <dbus/dbus.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string dump(DBusMessageIter* it);

std::string dump_items(DBusMessageIter* container) {
  std::string out;
  for (bool first = true; dbus_message_iter_get_arg_type(container) != DBUS_TYPE_INVALID;
       dbus_message_iter_next(container), first = false) {
    if (!first) out += ",";
    out += dump(container);
  }
  return out;
}

std::string dump(DBusMessageIter* it) {
  DBusMessageIter sub;
  switch (dbus_message_iter_get_arg_type(it)) {
    case DBUS_TYPE_STRING:
    case DBUS_TYPE_OBJECT_PATH: {
      const char* s = nullptr;
      dbus_message_iter_get_basic(it, &s);
      return s;
    }
    case DBUS_TYPE_BOOLEAN: {
      dbus_bool_t b = FALSE;
      dbus_message_iter_get_basic(it, &b);
      return b ? "true" : "false";
    }
    case DBUS_TYPE_UINT32: {
      dbus_uint32_t u = 0;
      dbus_message_iter_get_basic(it, &u);
      return std::to_string(u);
    }
    case DBUS_TYPE_VARIANT:
      dbus_message_iter_recurse(it, &sub);
      return dump(&sub);
    case DBUS_TYPE_ARRAY: {
      dbus_message_iter_recurse(it, &sub);
      if (dbus_message_iter_get_element_type(it) == DBUS_TYPE_BYTE) {
        const unsigned char* bytes = nullptr;
        int n = 0;
        dbus_message_iter_get_fixed_array(&sub, &bytes, &n);
        std::string out;
        for (int i = 0; i < n; ++i) {
          if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '\\') {
            out.push_back(static_cast<char>(bytes[i]));
          } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", bytes[i]);
            out += buf;
          }
        }
        return out;
      }
      return "[" + dump_items(&sub) + "]";
    }
    case DBUS_TYPE_STRUCT:
      dbus_message_iter_recurse(it, &sub);
      return "(" + dump_items(&sub) + ")";
    default: return "?";
  }
}

void reply_and_free(DBusConnection* c, DBusMessage* reply) {
  dbus_connection_send(c, reply, nullptr);
  dbus_message_unref(reply);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: portal_stand_in RECORD READY VERSION ANSWER...\n");
    return 2;
  }
  FILE* record = std::fopen(argv[1], "a");
  if (!record) return 2;
  const dbus_uint32_t version = static_cast<dbus_uint32_t>(std::strtoul(argv[3], nullptr, 10));
  std::vector<std::string> answers(argv + 4, argv + argc);
  std::size_t next_answer = 0;

  DBusError err;
  dbus_error_init(&err);
  DBusConnection* c = dbus_bus_get_private(DBUS_BUS_SESSION, &err);
  if (!c) {
    std::fprintf(stderr, "portal_stand_in: %s\n", err.message);
    return 2;
  }
  dbus_connection_set_exit_on_disconnect(c, FALSE);
  if (dbus_bus_request_name(c, "org.freedesktop.portal.Desktop", DBUS_NAME_FLAG_DO_NOT_QUEUE, &err) !=
      DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
    std::fprintf(stderr, "portal_stand_in: cannot own the portal's name\n");
    return 2;
  }
  if (FILE* ready = std::fopen(argv[2], "w")) std::fclose(ready);

  while (dbus_connection_read_write(c, 100)) {
    while (DBusMessage* m = dbus_connection_pop_message(c)) {
      if (dbus_message_get_type(m) != DBUS_MESSAGE_TYPE_METHOD_CALL) {
        dbus_message_unref(m);
        continue;
      }
      const std::string interface = dbus_message_get_interface(m) ? dbus_message_get_interface(m) : "";
      const std::string member = dbus_message_get_member(m) ? dbus_message_get_member(m) : "";
      const std::string path = dbus_message_get_path(m) ? dbus_message_get_path(m) : "";
      if (interface == "org.freedesktop.DBus.Properties" && member == "Get") {
        DBusMessage* reply = dbus_message_new_method_return(m);
        DBusMessageIter it, v;
        dbus_message_iter_init_append(reply, &it);
        dbus_message_iter_open_container(&it, DBUS_TYPE_VARIANT, "u", &v);
        dbus_message_iter_append_basic(&v, DBUS_TYPE_UINT32, &version);
        dbus_message_iter_close_container(&it, &v);
        reply_and_free(c, reply);
      } else if (interface == "org.freedesktop.portal.FileChooser" && (member == "OpenFile" || member == "SaveFile")) {
        std::fprintf(record, "method %s\n", member.c_str());
        DBusMessageIter it;
        dbus_message_iter_init(m, &it);
        std::fprintf(record, "parent %s\n", dump(&it).c_str());
        dbus_message_iter_next(&it);
        std::fprintf(record, "title %s\n", dump(&it).c_str());
        dbus_message_iter_next(&it);
        std::string token;
        DBusMessageIter dict;
        dbus_message_iter_recurse(&it, &dict);
        for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&dict)) {
          DBusMessageIter entry;
          dbus_message_iter_recurse(&dict, &entry);
          const std::string key = dump(&entry);
          dbus_message_iter_next(&entry);
          const std::string value = dump(&entry);
          if (key == "handle_token") token = value;
          std::fprintf(record, "option %s=%s\n", key.c_str(), value.c_str());
        }
        std::fflush(record);
        const std::string answer = next_answer < answers.size() ? answers[next_answer++] : "cancel";
        if (answer == "error") {
          reply_and_free(c, dbus_message_new_error(m, "org.freedesktop.portal.Error.Failed", "scripted failure"));
          dbus_message_unref(m);
          continue;
        }
        std::string sender = dbus_message_get_sender(m);
        sender.erase(0, 1);
        for (char& ch : sender) {
          if (ch == '.') ch = '_';
        }
        const std::string handle = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
        DBusMessage* reply = dbus_message_new_method_return(m);
        const char* handle_text = handle.c_str();
        dbus_message_append_args(reply, DBUS_TYPE_OBJECT_PATH, &handle_text, DBUS_TYPE_INVALID);
        reply_and_free(c, reply);
        if (answer == "hold") {
          dbus_message_unref(m);
          continue;
        }
        DBusMessage* signal = dbus_message_new_signal(handle.c_str(), "org.freedesktop.portal.Request", "Response");
        DBusMessageIter sit, results;
        dbus_message_iter_init_append(signal, &sit);
        const bool chosen = answer.rfind("uri:", 0) == 0;
        const dbus_uint32_t code = chosen ? 0 : 1;
        dbus_message_iter_append_basic(&sit, DBUS_TYPE_UINT32, &code);
        dbus_message_iter_open_container(&sit, DBUS_TYPE_ARRAY, "{sv}", &results);
        if (chosen) {
          const std::string uri = answer.substr(4);
          const char* key = "uris";
          const char* uri_text = uri.c_str();
          DBusMessageIter e, v, list;
          dbus_message_iter_open_container(&results, DBUS_TYPE_DICT_ENTRY, nullptr, &e);
          dbus_message_iter_append_basic(&e, DBUS_TYPE_STRING, &key);
          dbus_message_iter_open_container(&e, DBUS_TYPE_VARIANT, "as", &v);
          dbus_message_iter_open_container(&v, DBUS_TYPE_ARRAY, "s", &list);
          dbus_message_iter_append_basic(&list, DBUS_TYPE_STRING, &uri_text);
          dbus_message_iter_close_container(&v, &list);
          dbus_message_iter_close_container(&e, &v);
          dbus_message_iter_close_container(&results, &e);
        }
        dbus_message_iter_close_container(&sit, &results);
        dbus_connection_send(c, signal, nullptr);
        dbus_message_unref(signal);
      } else if (interface == "org.freedesktop.portal.Request" && member == "Close") {
        std::fprintf(record, "close %s\n", path.c_str());
        std::fflush(record);
        reply_and_free(c, dbus_message_new_method_return(m));
      } else {
        reply_and_free(c, dbus_message_new_error(m, DBUS_ERROR_UNKNOWN_METHOD, "not a stand-in method"));
      }
      dbus_message_unref(m);
    }
    dbus_connection_flush(c);
  }
  std::fclose(record);
  return 0;
}
