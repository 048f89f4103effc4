-- One 512-byte block write per request, each at the next block after the previous one
-- (from a random block, wrapping at the end), so that every write of a round shorter than
-- a pass over the image is the first write of its block: the most a version costs.
-- BENCH_PATH names the image, BENCH_SIZE its size.
local path = os.getenv("BENCH_PATH") or "/put.hdv"
local size = tonumber(os.getenv("BENCH_SIZE") or "33554432")
local blocks = math.floor(size / 512)
dofile((os.getenv("BENCH_LUA") or "bench/http") .. "/report.lua")

local body
local next_block
function init(args)
   math.randomseed(os.time())
   local bytes = {}
   for i = 1, 512 do
      bytes[i] = string.char(math.random(0, 255))
   end
   body = table.concat(bytes)
   next_block = math.random(0, blocks - 1)
end

function request()
   local start = next_block * 512
   next_block = (next_block + 1) % blocks
   local range = "bytes " .. start .. "-" .. (start + 511) .. "/" .. size
   return wrk.format("PUT", path, { ["Content-Range"] = range }, body)
end
