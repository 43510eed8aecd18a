#include "privateprofile.h"

#include "ownprivateprofile.h"

namespace velmora {

PrivateProfile &systemPrivateProfile()
{
    static OwnPrivateProfile profile;
    return profile;
}

} // namespace velmora
