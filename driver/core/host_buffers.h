// The host's buffers: one ChannelSlab whose runs are handed out as the channels'
// double buffers. Both routines run under the driver lock.
#pragma once

#include "driver/core/asio_types.h"

// What getBufferSize offers. The engine's packets hold blocks of at most 2048 frames.
constexpr long MinimumHostBufferSize = 64;
constexpr long MaximumHostBufferSize = 2048;
constexpr long HostBufferGranularity = 8;

// Disposes the present buffers, then gives every requested channel its run of the
// slab (HostSlabLayout), both halves of its double buffer the same memory. A request
// that cannot be served whole writes nothing and leaves the driver initialised; while
// loaded it is refused.
ASIOError CreateHostBuffers(ASIOBufferInfo* infos, long channelCount, long bufferSize, ASIOCallbacks* callbacks);

// Ends running, frees the slab and clears the channel maps; prepared or running
// becomes initialised.
void DisposeHostBuffers();
