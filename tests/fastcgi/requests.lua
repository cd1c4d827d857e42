-- wrk script of the FastCGI tests and the benchmark: posts the form bodies of the file that
-- XG_BODIES names (one a line) in turn, and counts the answers that are no complete gateway
-- document: a status other than 200, or a body that does not end with a document's closing tag
-- (or with the Lua pattern XG_ANSWER_END, for answers of another kind).
local answer_end = os.getenv("XG_ANSWER_END") or "</%u+>\r\n$"
local bodies = {}
for line in io.lines(os.getenv("XG_BODIES")) do
  bodies[#bodies + 1] = line
end
local next_body = 0
bad = 0  -- global: done() reads it from each thread
local threads = {}

function setup(thread)
  table.insert(threads, thread)
end

function request()
  next_body = next_body % #bodies + 1
  return wrk.format("POST", nil, {["Content-Type"] = "application/x-www-form-urlencoded"},
                    bodies[next_body])
end

function response(status, headers, body)
  if status ~= 200 or not body:find(answer_end) then
    bad = bad + 1
  end
end

function done(summary, latency, requests)
  local total_bad = 0
  for _, thread in ipairs(threads) do
    total_bad = total_bad + thread:get("bad")
  end
  io.write(string.format("requests=%d bad=%d errors=%d rps=%.1f p50_ms=%.2f p99_ms=%.2f\n",
                         summary.requests, total_bad,
                         summary.errors.connect + summary.errors.read + summary.errors.write +
                           summary.errors.status + summary.errors.timeout,
                         summary.requests / (summary.duration / 1e6),
                         latency:percentile(50) / 1000, latency:percentile(99) / 1000))
end
