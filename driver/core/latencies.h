// The latencies reported to hosts: for each direction the largest latency of its active
// pins, in samples at the current rate and the host's buffer size.
#pragma once

void ComputeLatencies(long* input, long* output);
