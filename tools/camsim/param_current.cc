// GET /axis-cgi/param.cgi?action=list[&group=G1,G2,...] of the newer firmware: its settings
// as text lines "root.Group.Name=value", viewer level (behind --auth like every endpoint).
//
// A group names a parameter or a branch ("Audio", "Properties.Audio", "root.IOPort.I0");
// without a group every parameter is listed. A group that names nothing is answered, as
// these cameras do, with status 200 and the line
//   # Error: Error -1 getting param in group 'X'
// Another action is answered 400. Every parameter lives in the table below.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "camsim/firmware_current.h"
#include "camsim/server.h"

namespace vantorel::camsim {

namespace {

struct Param {
  std::string name;  // without "root."
  std::string value;
};

std::vector<Param> CurrentParams(const Options& o) {
  return {
      {"Audio.DuplexMode", DuplexParameter(o.current.duplex)},
      {"Audio.MaxListeners", "20"},
      {"Audio.NbrOfConfigs", "1"},
      {"Audio.A0.Enabled", "yes"},
      {"Audio.A0.HTTPMessageType", "singlepart"},
      {"Audio.A0.Source", "0"},
      {"AudioSource.NbrOfSources", "1"},
      {"AudioSource.A0.AudioEncoding", "g711"},
      {"AudioSource.A0.BitRate", "64000"},
      {"AudioSource.A0.InputType", "mic"},
      {"AudioSource.A0.SampleRate", "8000"},
      {"IOPort.I0.Configurable", "no"},
      {"IOPort.I0.Direction", "input"},
      {"IOPort.I0.Usage", "Button"},
      {"IOPort.I1.Configurable", "no"},
      {"IOPort.I1.Direction", "output"},
      {"Properties.Audio.Audio", "yes"},
      {"Properties.Audio.Decoder.Format", "g711,g726"},
      {"Properties.Audio.DuplexMode", "full,half,post,get"},
      {"Properties.Audio.Format", "g711,g726"},
      {"Properties.Audio.InputType", "mic"},
      {"Properties.Image.Format", "jpeg,mjpeg"},
      {"Properties.Image.Resolution", "1280x960,1280x720,800x600,640x480,320x240,160x120"},
  };
}

// True when `group` (without "root.") names `name` or a branch above it.
bool InGroup(std::string_view name, std::string_view group) {
  return name.substr(0, group.size()) == group && (name.size() == group.size() || name[group.size()] == '.');
}

std::string List(const std::vector<Param>& params, std::string_view groups) {
  std::string out;
  if (groups.empty()) {
    for (const Param& p : params) out += "root." + p.name + "=" + p.value + "\n";
    return out;
  }
  while (true) {
    const size_t comma = groups.find(',');
    const std::string_view asked = groups.substr(0, comma);
    std::string_view group = asked;
    const bool all = group == "root";
    if (group.substr(0, 5) == "root.") group.remove_prefix(5);
    bool found = false;
    for (const Param& p : params) {
      if (!all && (group.empty() || !InGroup(p.name, group))) continue;
      out += "root." + p.name + "=" + p.value + "\n";
      found = true;
    }
    if (!found) out += "# Error: Error -1 getting param in group '" + std::string(asked) + "'\n";
    if (comma == std::string_view::npos) return out;
    groups.remove_prefix(comma + 1);
  }
}

}  // namespace

void RegisterParamEndpoint(httplib::Server& http, Context& context) {
  http.Get("/axis-cgi/param.cgi", [&context](const httplib::Request& req, httplib::Response& res) {
    Context::RequestScope scope(context, req);
    if (!context.Authorized(req, res)) return;
    if (req.get_param_value("action") != "list") {
      res.status = 400;
      res.set_content("# Error: only action=list is answered\n", "text/plain");
      return;
    }
    context.UpdateStats([](Stats& s) { ++s.current.params; });
    res.set_content(List(CurrentParams(context.options()), req.get_param_value("group")), "text/plain");
  });
}

}  // namespace vantorel::camsim
