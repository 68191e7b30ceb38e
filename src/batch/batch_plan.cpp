#include "batch/batch_plan.h"

#include "model/template_file.h"

namespace torvale {

BatchPlan planBatch(const Template& tpl, std::int32_t dpi, const std::string& csvOverride)
{
    BatchPlan plan;
    if (!csvOverride.empty())
        plan.inputs.csvPath = csvOverride;
    else if (!tpl.csv_file_path.empty())
        plan.inputs.csvPath = resolveTemplatePath(tpl.csv_file_path, tpl.templatePath);
    plan.inputs.outputFolder = tpl.output.outputFolder;
    plan.inputs.backgroundPath =
        resolveTemplatePath(tpl.background.background_path, tpl.templatePath);
    plan.options.tpl = tpl;
    plan.options.dpi = dpi;
    plan.options.csvPath = plan.inputs.csvPath;
    return plan;
}

} // namespace torvale
