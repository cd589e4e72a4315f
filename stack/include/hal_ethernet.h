/*
 * Raw Ethernet access (Linux packet sockets) used by the GOOSE and Sampled Values parts of the
 * stack and by frame capture.
 *
 * Behaviour worth knowing:
 * - A socket is bound to its interface from the start: it never delivers a frame that arrived
 *   on another interface, not even right after creation.
 * - Linux removes the outer 802.1Q/802.1ad tag of received frames before packet sockets see
 *   them. Ethernet_receivePacket puts the tag back (4 bytes after the source address), so the
 *   delivered frame looks as it did on the wire.
 * - Ethernet_receivePacket waits at most a few milliseconds (ETHERNET_RECEIVE_WAIT_MS) for a
 *   frame and returns 0 when none came, so that loops calling it neither spin nor block a stop.
 * - With a protocol filter set, frames the host itself sends on the interface are not delivered;
 *   without a filter (capture of everything) they are, like other capture tools show them.
 */
#ifndef HAL_ETHERNET_H_
#define HAL_ETHERNET_H_

#include "libiec61850_common_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Longest time Ethernet_receivePacket waits for a frame, in milliseconds. */
#define ETHERNET_RECEIVE_WAIT_MS 10

typedef struct sEthernetSocket* EthernetSocket;
typedef struct sEthernetHandleSet* EthernetHandleSet;

typedef enum {
    ETHERNET_SOCKET_MODE_PROMISC,       /* every frame on the wire */
    ETHERNET_SOCKET_MODE_ALL_MULTICAST, /* frames for this host and every multicast frame */
    ETHERNET_SOCKET_MODE_MULTICAST,     /* frames for this host and the added multicast groups */
    ETHERNET_SOCKET_MODE_HOST_ONLY      /* only frames addressed to this host (unicast, broadcast, groups) */
} EthernetSocketMode;

/* A set of sockets to wait on together. */
LIB61850_API EthernetHandleSet EthernetHandleSet_new(void);
LIB61850_API void EthernetHandleSet_addSocket(EthernetHandleSet self, const EthernetSocket sock);
LIB61850_API void EthernetHandleSet_removeSocket(EthernetHandleSet self, const EthernetSocket sock);
/* Waits until a socket of the set has a frame: > 0 ready, 0 time-out, < 0 error. */
LIB61850_API int EthernetHandleSet_waitReady(EthernetHandleSet self, unsigned int timeoutMs);
LIB61850_API void EthernetHandleSet_destroy(EthernetHandleSet self);

/* Writes the 6-byte MAC address of the interface into addr (zeros when unknown). */
LIB61850_API void Ethernet_getInterfaceMACAddress(const char* interfaceId, uint8_t* addr);

/* Opens a raw socket on the interface (name, e.g. "eth0"). destAddress, when not NULL, is the
 * destination written by callers that build frames with it; it does not filter reception.
 * NULL when the interface does not exist or the process lacks the rights (root or CAP_NET_RAW). */
LIB61850_API EthernetSocket Ethernet_createSocket(const char* interfaceId, uint8_t* destAddress);

LIB61850_API void Ethernet_destroySocket(EthernetSocket ethSocket);

/* Sends a complete frame (destination, source, optional tag, EtherType, payload). */
LIB61850_API void Ethernet_sendPacket(EthernetSocket ethSocket, uint8_t* buffer, int packetSize);

LIB61850_API void Ethernet_setMode(EthernetSocket ethSocket, EthernetSocketMode mode);

/* Joins a multicast group (used in ETHERNET_SOCKET_MODE_MULTICAST). */
LIB61850_API void Ethernet_addMulticastAddress(EthernetSocket ethSocket, uint8_t* multicastAddress);

/* Delivers only frames of this EtherType (also when VLAN tagged). */
LIB61850_API void Ethernet_setProtocolFilter(EthernetSocket ethSocket, uint16_t etherType);

/* Receives one frame into buffer: its length (cut to bufferSize), 0 when none arrived within
 * ETHERNET_RECEIVE_WAIT_MS, -1 on a socket error. A NULL socket (one that could not be created)
 * waits ETHERNET_RECEIVE_WAIT_MS and returns 0, so that a loop on it neither spins nor fails. */
LIB61850_API int Ethernet_receivePacket(EthernetSocket ethSocket, uint8_t* buffer, int bufferSize);

/* Capture extension: frames as the kernel recorded them, in batches, with their arrival time.
 * A capture socket receives every frame of its interface (also the ones this host sends) until
 * a protocol filter is set; Ethernet_setProtocolFilter2 admits two EtherTypes through one socket
 * so that both arrive in one queue, in the order the kernel received them. */
typedef struct {
    const uint8_t* data;     /* the frame with its VLAN tag put back; valid during the handler */
    uint32_t length;         /* bytes in data (at most the socket's frame capacity) */
    uint32_t originalLength; /* the frame's length on the wire, tag included */
    int64_t timeNs;          /* kernel arrival time stamp, nanoseconds since the Unix epoch */
    bool outgoing;           /* sent by this host */
} EthernetFrame;

typedef void (*EthernetFrameHandler)(void* parameter, const EthernetFrame* frame);

/* Opens a capture socket keeping frames whole up to frameCapacity bytes (0: the interface's MTU
 * with Ethernet header and VLAN tag). NULL on failure; errorText (when not NULL, size
 * errorSize) then says why. */
LIB61850_API EthernetSocket Ethernet_createCaptureSocket(const char* interfaceId, int frameCapacity,
                                                         char* errorText, int errorSize);

/* The frame capacity of a capture socket (bytes kept of each frame). */
LIB61850_API int Ethernet_getFrameCapacity(EthernetSocket ethSocket);

/* Delivers only frames of either EtherType (also when VLAN tagged), none sent by this host. */
LIB61850_API bool Ethernet_setProtocolFilter2(EthernetSocket ethSocket, uint16_t etherType,
                                              uint16_t otherEtherType);

/* Calls handler for every frame that is ready now, in arrival order, without waiting; returns
 * the number of frames, 0 when none was ready, -1 on a socket error. */
LIB61850_API int Ethernet_receiveBatch(EthernetSocket ethSocket, EthernetFrameHandler handler,
                                       void* parameter);

/* The kernel's counters since the socket was opened: frames that passed its filter (seen) and
 * frames dropped because the receive queue was full. */
LIB61850_API void Ethernet_getCounters(EthernetSocket ethSocket, uint64_t* seen, uint64_t* dropped);

/* Bytes of the memory-mapped receive ring each GOOSE or SV receiver started from now on reads
 * its frames through (16 MiB by default; the kernel keeps that memory for the receiver's life).
 * 0: no ring, frames are read from the socket's receive queue instead, at more CPU time per
 * frame; for hosts short of memory. */
LIB61850_API void Ethernet_setReceiverRingSize(size_t bytes);
LIB61850_API size_t Ethernet_getReceiverRingSize(void);

/* true: raw Ethernet is available on this platform. */
LIB61850_API bool Ethernet_isSupported(void);

#ifdef __cplusplus
}
#endif

#endif /* HAL_ETHERNET_H_ */
