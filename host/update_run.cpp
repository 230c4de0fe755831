#include "host/update_run.h"

#include "host/courses.h"
#include "host/morlin_app.h"

namespace morlin {

int run_configured_update(MorlinApp& app) {
    return report_course_not_built(app, "configured run");
}

} // namespace morlin
