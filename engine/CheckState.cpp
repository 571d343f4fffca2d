#include "engine/CheckState.h"

bool HoldsGoodDownload(const SPageCtx& ctx)
{
    return !ctx.m_strHtml.isEmpty() && ctx.m_dwErrorCode == 0 && ctx.m_iStatus != statusError;
}

void TakeFirstChecksum(SPageCtx& ctx)
{
    ctx.m_dwCheckSum = kNoChecksum;
    ctx.UpdateCRC32();
    ctx.m_iStatus = ctx.m_dwCheckSum == kNoChecksum ? statusUnknown : statusOrdinary;
}

void ForgetCheckState(SPageCtx& ctx)
{
    ctx.m_dwErrorCode = 0;
    ctx.m_dwHttpStatusCode = 0;
    ctx.m_dwCheckSum = kNoChecksum;
    ctx.m_tLastModified = kNoTime;
    ctx.m_tLastChecked = kNoTime;
    ctx.m_iStatus = statusUnknown;
}

void ApplyChosenPart(SPageCtx& ctx)
{
    if (HoldsGoodDownload(ctx))
        TakeFirstChecksum(ctx);
}

void SettleModifiedCheckState(SPageCtx& ctx, bool addressOrTextsChanged)
{
    if (!addressOrTextsChanged)
        return;
    if (HoldsGoodDownload(ctx))
        TakeFirstChecksum(ctx);
    else
        ForgetCheckState(ctx);
}
