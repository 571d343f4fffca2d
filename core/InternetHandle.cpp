#include "core/InternetHandle.h"

CInternetHandle g_hInternet;
