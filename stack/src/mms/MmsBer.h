#pragma once
// The BER reader, writer and TLV under the MMS codecs' own namespace, so every codec file and
// header names them the same short way.
#include "stack/src/ber/Ber.h"

namespace stack {
namespace mms {

using ber::Reader;
using ber::Tlv;
using ber::Writer;

} // namespace mms
} // namespace stack
