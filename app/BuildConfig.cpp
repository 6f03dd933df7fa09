#include "app/BuildConfig.h"
#include "QuorelBuildConfig.h"
#include "update/TransferLimits.h"

const char kWebAppUrlPrefix[] = "http://" QUOREL_WEBAPP_HOST_STR "/touch/default/type/ipad/source/software?ver";
const char kUpdateBaseUrl[] = "http://" QUOREL_VENDOR_HOST_STR "/update/";
const char kHomePageUrl[] = "http://" QUOREL_VENDOR_HOST_STR;
const TransferLimits kTransferLimits = {kAnswerLimitMs / QUOREL_LIMIT_DIVISOR, kSilenceLimitMs / QUOREL_LIMIT_DIVISOR,
                                         kBlockLimitMs / QUOREL_LIMIT_DIVISOR};
