#include "app/BuildConfig.h"
#include "QuorelBuildConfig.h"

const char kWebAppUrlPrefix[] = "http://" QUOREL_WEBAPP_HOST_STR QUOREL_WEBAPP_PATH;
const char kUpdateBaseUrl[] = "http://" QUOREL_VENDOR_HOST_STR QUOREL_UPDATE_PATH;
const char kHomePageUrl[] = "http://" QUOREL_VENDOR_HOST_STR;
