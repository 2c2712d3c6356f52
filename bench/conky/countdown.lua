-- The countdown rules of Dalvenor's second line: the day count is the number of calendar days
-- from today to the day before the target date; the time part is (target time - now) taken
-- modulo one day, written h小时m分钟s秒. The texts are the shipped countdown file's.
local line1_text = '距离2027年全国普通高等学校招生统一考试'
local prefix = '还有：'
local date_text = '6/7/2027'
local time_text = '9:00:00 AM'

local tips = {}
local tip_text = ''
local tip_changed = nil

local function load_tips()
    local path = os.getenv('BENCH_CONKY_TIPS')
    if path then
        local file = io.open(path, 'r')
        if file then
            for line in file:lines() do
                tips[#tips + 1] = (line:gsub('\r$', ''))
            end
            file:close()
        end
    end
    if #tips == 0 then
        tips[1] = '文件 ral.txt 没有找到。'
    end
end

local function day_number(year, month, day)
    -- Noon keeps a daylight-saving shift from moving the day.
    return math.floor(os.time({year = year, month = month, day = day, hour = 12}) / 86400)
end

function conky_line1()
    return line1_text
end

function conky_countdown()
    local month, day, year = date_text:match('^(%d+)/(%d+)/(%d+)$')
    local hour, minute, second, half = time_text:match('^(%d+):(%d+):(%d+)%s*(%a*)$')
    hour = tonumber(hour) % 12 + ((half == 'PM') and 12 or 0)
    local now = os.date('*t')
    local days = day_number(tonumber(year), tonumber(month), tonumber(day)) - 1 -
                     day_number(now.year, now.month, now.day)
    local left = (hour * 3600 + tonumber(minute) * 60 + tonumber(second)) -
                     (now.hour * 3600 + now.min * 60 + now.sec)
    left = left % 86400
    return string.format('%s%d天 %d小时%d分钟%d秒', prefix, days, left // 3600,
                         (left % 3600) // 60, left % 60)
end

function conky_tip()
    local now = os.time()
    if tip_changed == nil then
        load_tips()
        math.randomseed(now)
    end
    if tip_changed == nil or now - tip_changed >= 60 then
        tip_text = tips[math.random(#tips)]
        tip_changed = now
    end
    return tip_text
end
