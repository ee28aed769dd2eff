// The variant-parameter and envelope services.
#include <fmt/format.h>

#include "host/instance_data.h"
#include "host/param_block.h"
#include "host/services.h"

double HostVParm::valueAt(double time) const {
  return envelope.empty() ? value : envelope.valueAt(time);
}

namespace lensfall::host {

namespace {

HostServices &host() { return HostServices::active(); }

bool known(HostVParmID parm) {
  return parm != nullptr && host().ownsVParm(parm);
}

HostVParmID create(int type, int) {
  HostServices &services = host();
  const int call = services.vparmCreateCalls++;
  if (call == services.faults().failVParmCreateAt) return nullptr;
  if (vparmTypeFromName(vparmTypeName(type)) == 0) return nullptr;
  return services.makeVParm(type);
}

void destroy(HostVParmID parm) {
  if (known(parm)) host().destroyVParm(parm);
}

int setup(HostVParmID parm, const char *channelName, HostChanGroupID group,
          void *, void *, void *, void *) {
  if (!known(parm)) return 0;
  parm->channelName = channelName != nullptr ? channelName : "";
  parm->group = group;
  return 1;
}

int copy(HostVParmID to, HostVParmID from) {
  if (!known(to) || !known(from)) return 0;
  to->value = from->value;
  to->envelope = from->envelope;
  return 1;
}

const char *load(HostVParmID parm, const HostLoadState *state) {
  HostServices &services = host();
  DataReader &reader = readerOf(state);
  const int call = services.vparmLoadCalls++;
  if (call == services.faults().failVParmLoadAt) {
    return reader.keepText(services.faults().failureText);
  }
  if (!known(parm)) return reader.keepText("unknown parameter");
  try {
    const nlohmann::json *block = reader.takeObject("param", true);
    if (block == nullptr) {
      return reader.keepText(reader.problem().value_or("no parameter block"));
    }
    if (auto problem = readParamBlock(*block, *parm)) {
      reader.fail(*problem);
      return reader.keepText(*reader.problem());
    }
  } catch (const std::exception &error) {
    reader.fail(error.what());
    return reader.keepText(*reader.problem());
  }
  return nullptr;
}

const char *save(HostVParmID parm, const HostSaveState *state) {
  HostServices &services = host();
  DataWriter &writer = writerOf(state);
  const int call = services.vparmSaveCalls++;
  if (call == services.faults().failVParmSaveAt) {
    writer.fail(services.faults().failureText);
    return services.faults().failureText.c_str();
  }
  if (!known(parm)) return "unknown parameter";
  writer.writeItem({{"param", paramBlock(*parm)}});
  return nullptr;
}

int getValue(HostVParmID parm, double time, void *, double *result) {
  if (!known(parm) || result == nullptr) return 0;
  result[0] = parm->valueAt(time);
  return 1;
}

int setValue(HostVParmID parm, const double *value) {
  if (!known(parm) || value == nullptr) return 0;
  // A value set from outside replaces any animation.
  parm->value = value[0];
  parm->envelope = Envelope{};
  return 1;
}

HostChanGroupID createGroup(HostChanGroupID parent, const char *name) {
  return host().makeGroup(parent, name != nullptr ? name : "");
}

}  // namespace

const HostVParmFuncs &vparmFuncs() {
  static const HostVParmFuncs funcs = {create, destroy, setup,    copy,
                                       load,   save,    getValue, setValue};
  return funcs;
}

const HostEnvelopeFuncs &envelopeFuncs() {
  static const HostEnvelopeFuncs funcs = {nullptr, nullptr, createGroup};
  return funcs;
}

}  // namespace lensfall::host
