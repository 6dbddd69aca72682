#include "hubwire/rpc/dispatcher_stubs.h"

namespace rpc {

bytes encode_connect_request(const connect_request& r) {
  ndr_writer w;
  w.put_string(r.identity);
  w.put_optional_string(r.name);
  w.put_long(r.process_id);
  return w.take();
}

bool decode_connect_request(const uint8_t* p, size_t n, connect_request* r) {
  ndr_reader d(p, n);
  return d.get_string(&r->identity) && d.get_optional_string(&r->name) &&
         d.get_long(&r->process_id) && d.at_end();
}

bytes encode_send_request(const send_request& r) {
  ndr_writer w;
  w.put_context(r.ctx);
  w.put_string(r.to_id);
  w.put_string(r.msg_id);
  w.put_long(r.iparam1);
  w.put_long(r.iparam2);
  w.put_optional_string(r.sparam);
  w.put_long(r.serial);
  return w.take();
}

bool decode_send_request(const uint8_t* p, size_t n, send_request* r) {
  ndr_reader d(p, n);
  return d.get_context(&r->ctx) && d.get_string(&r->to_id) && d.get_string(&r->msg_id) &&
         d.get_long(&r->iparam1) && d.get_long(&r->iparam2) && d.get_optional_string(&r->sparam) &&
         d.get_long(&r->serial) && d.at_end();
}

bytes encode_name_request(const name_request& r) {
  ndr_writer w;
  w.put_context(r.ctx);
  w.put_string(r.name);
  return w.take();
}

bool decode_name_request(const uint8_t* p, size_t n, name_request* r) {
  ndr_reader d(p, n);
  return d.get_context(&r->ctx) && d.get_string(&r->name) && d.at_end();
}

bytes encode_context_request(const context_request& r) {
  ndr_writer w;
  w.put_context(r.ctx);
  return w.take();
}

bool decode_context_request(const uint8_t* p, size_t n, context_request* r) {
  ndr_reader d(p, n);
  return d.get_context(&r->ctx) && d.at_end();
}

bytes encode_context_reply(const context_reply& r) {
  ndr_writer w;
  w.put_context(r.ctx);
  w.put_long(r.result);
  return w.take();
}

bool decode_context_reply(const uint8_t* p, size_t n, context_reply* r) {
  ndr_reader d(p, n);
  return d.get_context(&r->ctx) && d.get_long(&r->result) && d.at_end();
}

bytes encode_send_reply(const send_reply& r) {
  ndr_writer w;
  w.put_long(r.serial);
  w.put_long(r.result);
  return w.take();
}

bool decode_send_reply(const uint8_t* p, size_t n, send_reply* r) {
  ndr_reader d(p, n);
  return d.get_long(&r->serial) && d.get_long(&r->result) && d.at_end();
}

bytes encode_result_reply(int32_t result) {
  ndr_writer w;
  w.put_long(result);
  return w.take();
}

bool decode_result_reply(const uint8_t* p, size_t n, int32_t* result) {
  ndr_reader d(p, n);
  return d.get_long(result) && d.at_end();
}

// The structure body holds only the referent ids of its three texts; the
// texts follow the whole body, in member order.
bytes encode_receive_reply(const receive_reply& r) {
  const dispatcher_message& m = r.msg;
  ndr_writer w;
  w.put_pointer(m.from_id.has_value());
  w.put_pointer(m.msg_id.has_value());
  w.put_long(m.iparam1);
  w.put_long(m.iparam2);
  w.put_pointer(m.sparam.has_value());
  w.put_long(m.serial);
  for (const opt_text* t : {&m.from_id, &m.msg_id, &m.sparam}) {
    if (*t) w.put_string(**t);
  }
  w.put_long(r.result);
  return w.take();
}

bool decode_receive_reply(const uint8_t* p, size_t n, receive_reply* r) {
  ndr_reader d(p, n);
  dispatcher_message& m = r->msg;
  bool has_from, has_msg, has_sparam;
  if (!d.get_pointer(&has_from) || !d.get_pointer(&has_msg) || !d.get_long(&m.iparam1) ||
      !d.get_long(&m.iparam2) || !d.get_pointer(&has_sparam) || !d.get_long(&m.serial)) {
    return false;
  }
  std::pair<bool, opt_text*> texts[] = {
      {has_from, &m.from_id}, {has_msg, &m.msg_id}, {has_sparam, &m.sparam}};
  for (auto& [present, text] : texts) {
    text->reset();
    if (!present) continue;
    std::u16string s;
    if (!d.get_string(&s)) return false;
    *text = std::move(s);
  }
  return d.get_long(&r->result) && d.at_end();
}

}  // namespace rpc
