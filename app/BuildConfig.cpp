#include "app/BuildConfig.h"
#include "QuorelBuildConfig.h"
#include "update/TransferLimits.h"

const char kWebAppUrlPrefix[] = "http://" QUOREL_WEBAPP_HOST_STR QUOREL_WEBAPP_PATH;
const char kUpdateBaseUrl[] = "http://" QUOREL_VENDOR_HOST_STR QUOREL_UPDATE_PATH;
const char kHomePageUrl[] = "http://" QUOREL_VENDOR_HOST_STR;
const TransferLimits kTransferLimits = {kAnswerLimitMs / QUOREL_LIMIT_DIVISOR, kSilenceLimitMs / QUOREL_LIMIT_DIVISOR,
                                        kBlockLimitMs / QUOREL_LIMIT_DIVISOR, kDownloadLimitMs / QUOREL_LIMIT_DIVISOR};
