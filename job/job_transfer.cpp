#include "job/job.h"

// The image transfer of a job; its end is the job's end.
void CJob::NetDownload()
{
    EnterStage(JobStage::Transfer);
    CImageTransfer transfer(*this, m_Clock, m_Request.transfer);
    TransferReport report = transfer.Run(m_Net, m_Request.images, m_bStop, m_bQuit);
    m_Result.images = report.images;
    switch (report.result) {
    case TransferResult::Installed:
        Finish(JobVerdict::Installed, JobCause::None, {});
        break;
    case TransferResult::InstallFailed:
        Finish(JobVerdict::Failed, JobCause::NotStored, report.strReason);
        break;
    case TransferResult::Ended:
        Finish(JobVerdict::Failed, JobCause::TransferBroken, report.strReason);
        break;
    case TransferResult::Stopped:
        Finish(JobVerdict::Stopped, JobCause::Stopped, report.strReason);
        break;
    case TransferResult::Quit:
        Finish(JobVerdict::Stopped, JobCause::Closed, report.strReason);
        break;
    }
}
