// Picks the AVX2 kernels where the processor runs them and they handle the format.
#include "driver/engine/conversion/direct_kernels.h"
#include "driver/engine/conversion/processor_features.h"
#include "driver/engine/conversion/resampler_kernels.h"

RenderDirectKernel ChooseRenderDirect(const DeviceFormat& format)
{
    return ProcessorHasAvx2() && avx2_kernels::HandlesDirect(format) ? avx2_kernels::RenderDirect
                                                                     : portable_kernels::RenderDirect;
}

CaptureDirectKernel ChooseCaptureDirect(const DeviceFormat& format)
{
    return ProcessorHasAvx2() && avx2_kernels::HandlesDirect(format) ? avx2_kernels::CaptureDirect
                                                                     : portable_kernels::CaptureDirect;
}

RenderResampledKernel ChooseRenderResampled()
{
    return ProcessorHasAvx2() ? avx2_kernels::RenderResampled : portable_kernels::RenderResampled;
}

CaptureResampledKernel ChooseCaptureResampled()
{
    return ProcessorHasAvx2() ? avx2_kernels::CaptureResampled : portable_kernels::CaptureResampled;
}
