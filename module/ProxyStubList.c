/* The proxy/stub's file list and factory, from widl's dlldata.c, built with
 * REGISTER_PROXY_DLL and the PROXY_ entry prefix (see ProxyStub.h). */
#include "dlldata.c"
