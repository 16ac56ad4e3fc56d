#include "support/pictures.h"

#include <gtest/gtest.h>

#include "image/image_file.h"

Image read_picture_file(const std::string& path) {
    Image image;
    std::string why;
    EXPECT_TRUE(read_image(path, image, why)) << path << ": " << why;
    return image;
}

JobResult run_job_or_fail(const Job& job) {
    JobResult result;
    JobError error;
    EXPECT_TRUE(run_job(job, result, error)) << error.message();
    return result;
}
