#pragma once
// The host's channel objects. This library only carries pointers to them and never uses them.
namespace VorRelay {
class IChannel;
}
