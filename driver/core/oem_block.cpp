// Initial OEM configuration of the two shipped builds: the 32-bit DLL for the
// QORDA DESK PRO DJ controller, the 64-bit DLL for the QORDA-8 interface.
#include "driver/core/oem_block.h"
#include "driver/resources/resource_ids.h"

#if defined(KASKADE_PRODUCT_QORDA_8)
#define OEM_HARDWARE_ID "USB\\VID_200C&PID_1002&REV_0100&MI_00"
#define OEM_DRIVER_NAME "VelmoraAsioQorda8"
#define OEM_CLASS_ID "{DF83B1FC-6DE1-4072-B97B-C80B98AB62CF}"
#elif defined(KASKADE_PRODUCT_QORDA_DESK_PRO)
#define OEM_HARDWARE_ID "USB\\VID_4446&PID_0001"
#define OEM_DRIVER_NAME "Velmora ASIO QORDA DESK PRO"
#define OEM_CLASS_ID "{3B044C5C-8A96-4F5F-993B-33254E117467}"
#else
#error "No product chosen for the OEM configuration block"
#endif

constexpr std::uint32_t TextFieldLength = 4 + OemTextSize;
constexpr std::uint32_t NumberFieldLength = 4 + 4;
constexpr std::uint32_t ClassIdFieldLength = 4 + OemClassIdSize;

// The magic is spelled out byte by byte so that it appears once in the DLL: here.
__attribute__((used)) OemConfigBlock OemConfig = {
    {'o', 'E', 'm', 'C', 'o', 'N', 'f', 'G'},
    {{'$', 'H', 'I', 'D'}, TextFieldLength, OEM_HARDWARE_ID},
    {{'$', 'O', 'E', 'M'}, TextFieldLength, OEM_DRIVER_NAME},
    {{'$', 'L', 'I', 'S'}, NumberFieldLength, 0},
    {{'$', 'L', 'O', 'S'}, NumberFieldLength, 0},
    {{'$', 'L', 'I', 'M'}, NumberFieldLength, OemMarginFromQuirkTable},
    {{'$', 'L', 'O', 'M'}, NumberFieldLength, OemMarginFromQuirkTable},
    {{'$', 'B', 'S', 'K'}, NumberFieldLength, 2},
    {{'$', 'D', 'F', 'L'}, NumberFieldLength, 0},
    {{'$', 'I', 'N', 'S'}, NumberFieldLength, 0},
    {{'$', 'B', 'S', 'Z'}, NumberFieldLength, 256},
    {{'$', 'C', 'P', 'L'}, NumberFieldLength, IDD_PANEL_FULL},
    {{'$', 'C', 'L', 'S'},
     ClassIdFieldLength,
     {OEM_CLASS_ID[0],  OEM_CLASS_ID[1],  OEM_CLASS_ID[2],  OEM_CLASS_ID[3],  OEM_CLASS_ID[4],  OEM_CLASS_ID[5],
      OEM_CLASS_ID[6],  OEM_CLASS_ID[7],  OEM_CLASS_ID[8],  OEM_CLASS_ID[9],  OEM_CLASS_ID[10], OEM_CLASS_ID[11],
      OEM_CLASS_ID[12], OEM_CLASS_ID[13], OEM_CLASS_ID[14], OEM_CLASS_ID[15], OEM_CLASS_ID[16], OEM_CLASS_ID[17],
      OEM_CLASS_ID[18], OEM_CLASS_ID[19], OEM_CLASS_ID[20], OEM_CLASS_ID[21], OEM_CLASS_ID[22], OEM_CLASS_ID[23],
      OEM_CLASS_ID[24], OEM_CLASS_ID[25], OEM_CLASS_ID[26], OEM_CLASS_ID[27], OEM_CLASS_ID[28], OEM_CLASS_ID[29],
      OEM_CLASS_ID[30], OEM_CLASS_ID[31], OEM_CLASS_ID[32], OEM_CLASS_ID[33], OEM_CLASS_ID[34], OEM_CLASS_ID[35],
      OEM_CLASS_ID[36], OEM_CLASS_ID[37]}},
    {0, 0, 0, 0},
};
static_assert(sizeof(OEM_CLASS_ID) == OemClassIdSize + 1, "class id text is 38 characters");
