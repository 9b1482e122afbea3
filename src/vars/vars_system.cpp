#include "vars/vars_system.h"

namespace vars {

namespace {
VarsSystem* g_system = nullptr;
} // namespace

VarsSystem& System() {
  return g_system ? *g_system : detail::DefaultVarsSystem();
}

void SetVarsSystem(VarsSystem* system) {
  g_system = system;
}

} // namespace vars
