// The delivery's unit: fills the core's MAPI seam at start-up, so that the internal-error report
// can mail its trace file through the user's mail client.
#include "delivery/mail_client.h"
#include "runtime/system.h"

// Kept by the linker option of vl_delivery so that the unit below is always linked in.
extern "C" {
extern int vl_delivery_unit_link;
int vl_delivery_unit_link = 0;
}

namespace vl {
namespace {

void Initialization() { delivery::InstallDeliverySeams(); }

// After the core (order − 20), whose platform it completes.
VL_UNIT_REGISTRATION const rtl::UnitRegistration kUnit("VantorLogDelivery", rtl::UnitOrderCrashReporter - 5,
                                  Initialization, nullptr);

}  // namespace
}  // namespace vl
