// Found before libjpeg's own jpeglib.h. libjpeg-turbo's Windows jconfig.h leaves out its
// `boolean` typedef once rpcndr.h (through windows.h) has declared one, and JUCE includes
// the library inside a namespace of its own and then names `boolean` in that namespace.
// Declaring the global one there first lets JUCE's code compile.
typedef ::boolean boolean;
#include_next <jpeglib.h>
