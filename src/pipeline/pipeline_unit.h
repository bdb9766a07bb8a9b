// The notification's unit (started right after the capture's, finalised right before it): when
// the crash reporter is active it creates the working options, connects the notification to the
// capture and answers the options' "is this the running module's options" question; at
// finalisation it disconnects first and frees the options last.
#pragma once

namespace vl::pipeline {

void StartPipeline();
void StopPipeline();

}  // namespace vl::pipeline

// Referenced by the link option that keeps the unit in every program linking the pipeline.
extern "C" int vl_pipeline_unit_link;
