#pragma once
// The commands of corvid-publish; each returns the process exit code.

#include "publish/options.h"

namespace corvid::publish {

int run_build(const build_options& options);
int run_verify(const verify_options& options);
#ifdef CORVID_PUBLISH_HTTP
// verify --url: a live server and its mirrors over HTTP.
int run_verify_url(const verify_options& options);
#endif

}  // namespace corvid::publish
