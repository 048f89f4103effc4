-- Shared by the wrk scripts: prints one machine-readable line after a run, with exact
-- counts that wrk's own summary only shows rounded.
function done(summary, latency, requests)
   local e = summary.errors
   io.write(string.format(
      "BENCH requests=%d duration_us=%d bytes=%d p50_us=%d p99_us=%d " ..
      "err_connect=%d err_read=%d err_write=%d err_status=%d err_timeout=%d\n",
      summary.requests, summary.duration, summary.bytes,
      latency:percentile(50), latency:percentile(99),
      e.connect, e.read, e.write, e.status, e.timeout))
end
