// The peer: docxtemplater fills the same table loop with the same rows and
// saves the document. Prints the median time of load, render, zip and write.
//   node docxtemplater_bench.js <template.docx> <data.json> <out.docx> [repetitions]
const fs = require("fs");
const PizZip = require("pizzip");
const Docxtemplater = require("docxtemplater");

const [template, dataFile, out, repsArg] = process.argv.slice(2);
const reps = Number(repsArg || 7);
const data = JSON.parse(fs.readFileSync(dataFile, "utf8"));

function once() {
  const t0 = process.hrtime.bigint();
  const zip = new PizZip(fs.readFileSync(template));
  const doc = new Docxtemplater(zip, { paragraphLoop: true, linebreaks: true });
  doc.render(data);
  const buf = doc.getZip().generate({
    type: "nodebuffer",
    compression: "DEFLATE",
    compressionOptions: { level: 1 },
  });
  fs.writeFileSync(out, buf);
  return Number(process.hrtime.bigint() - t0) / 1e6;
}

once(); // warm-up
const ms = [];
for (let i = 0; i < reps; i++) ms.push(once());
ms.sort((a, b) => a - b);
const median = ms[Math.floor(ms.length / 2)];
console.log(
  `docxtemplater rows=${data.rows.length} runs=${reps} min=${ms[0].toFixed(1)} ms ` +
    `median=${median.toFixed(1)} ms max=${ms[ms.length - 1].toFixed(1)} ms`
);
console.log(`docxtemplater_ms ${median.toFixed(1)}`);
